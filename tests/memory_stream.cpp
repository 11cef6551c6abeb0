#include "memory_stream.h"

#ifdef __GLIBC__

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

struct memory_input {
    const unsigned char *content;
    size_t size;
    long position;
    stream_faults faults;
    int seeks;
};

struct memory_output {
    std::vector<unsigned char> *sink;
    stream_faults faults;
};

ssize_t read_input(void *cookie, char *buffer, size_t wanted)
{
    auto *input = static_cast<memory_input *>(cookie);
    if (input->faults.read_fails_at >= 0 && input->position >= input->faults.read_fails_at) {
        errno = EIO;
        return -1;
    }
    long end = static_cast<long>(input->size);
    if (input->faults.read_fails_at >= 0)
        end = std::min(end, input->faults.read_fails_at);
    if (input->position >= end)
        return 0;
    size_t length = std::min(wanted, static_cast<size_t>(end - input->position));
    memcpy(buffer, input->content + input->position, length);
    input->position += static_cast<long>(length);
    return static_cast<ssize_t>(length);
}

int seek_input(void *cookie, off64_t *offset, int whence)
{
    auto *input = static_cast<memory_input *>(cookie);
    off64_t base = whence == SEEK_SET   ? 0
                   : whence == SEEK_CUR ? input->position
                                        : static_cast<off64_t>(input->size);
    if (input->faults.seek_fails || base + *offset < 0) {
        errno = ESPIPE;
        return -1;
    }
    if (++input->seeks == input->faults.changes_at_seek) {
        input->content = input->faults.changed->data();
        input->size = input->faults.changed->size();
    }
    input->position = static_cast<long>(base + *offset);
    *offset = input->position;
    return 0;
}

int close_input(void *cookie)
{
    delete static_cast<memory_input *>(cookie);
    return 0;
}

ssize_t write_output(void *cookie, const char *buffer, size_t length)
{
    auto *output = static_cast<memory_output *>(cookie);
    long reached = static_cast<long>(output->sink->size() + length);
    if (output->faults.write_fails_at >= 0 && reached > output->faults.write_fails_at) {
        errno = ENOSPC;
        return 0; // a cookie writer reports failure by writing nothing
    }
    output->sink->insert(output->sink->end(), buffer, buffer + length);
    return static_cast<ssize_t>(length);
}

int close_output(void *cookie)
{
    delete static_cast<memory_output *>(cookie);
    return 0;
}

FILE *unbuffered(FILE *stream)
{
    if (stream != nullptr)
        setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

} // namespace

FILE *open_memory_input(const unsigned char *content, size_t size, stream_faults faults)
{
    cookie_io_functions_t functions{read_input, nullptr, seek_input, close_input};
    auto *input = new memory_input{content, size, 0, faults, 0};
    FILE *stream = unbuffered(fopencookie(input, "rb", functions));
    if (stream == nullptr)
        delete input;
    return stream;
}

FILE *open_memory_output(std::vector<unsigned char> *sink, stream_faults faults)
{
    cookie_io_functions_t functions{nullptr, write_output, nullptr, close_output};
    auto *output = new memory_output{sink, faults};
    FILE *stream = unbuffered(fopencookie(output, "wb", functions));
    if (stream == nullptr)
        delete output;
    return stream;
}

#else

FILE *open_memory_input(const unsigned char *, size_t, stream_faults)
{
    return nullptr;
}

FILE *open_memory_output(std::vector<unsigned char> *, stream_faults)
{
    return nullptr;
}

#endif
