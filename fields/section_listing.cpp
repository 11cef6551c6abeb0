#include "section_listing.h"

section_end file_ended(const input_stream &in)
{
    return input_failed(in) ? SECTION_READ_FAILED : SECTION_FILE_ENDED;
}

section_end scan_raw(input_stream *in, path_scanner *scanner, uint64_t length)
{
    while (length > 0) {
        const unsigned char *bytes = nullptr;
        size_t ready = input_ready(in, &bytes);
        if (ready == 0)
            return file_ended(*in);
        size_t taken = ready < length ? ready : static_cast<size_t>(length);
        scan_data(scanner, bytes, taken);
        consume(in, taken);
        length -= taken;
    }
    return SECTION_DONE;
}

section_end scan_raw_to_end(input_stream *in, path_scanner *scanner)
{
    return scan_raw(in, scanner, UINT64_MAX);
}

section_end finish_section(input_stream *in, path_scanner *scanner, section_walk *walk,
                           walk_result walked)
{
    // What the walker could not follow is listed as plain bytes.
    if (walked == WALK_UNFOLLOWABLE && walk->reader.status == UNPACK_OK)
        (void)pass_rest(walk); // how it ended is the reader's status
    switch (walk->reader.status) {
    case UNPACK_OK:
    case UNPACK_STOPPED: // a listing never stops early
        return SECTION_DONE;
    case UNPACK_CUT:
        return SECTION_FILE_ENDED;
    case UNPACK_READ_FAILED:
        return SECTION_READ_FAILED;
    case UNPACK_OVERRUN:
        break;
    }
    // Its ops cannot be read: from the one that failed on, raw bytes.
    scan_data(scanner, walk->reader.failed_header, walk->reader.failed_header_length);
    return scan_raw_to_end(in, scanner);
}

section_end list_section(input_stream *in, path_scanner *scanner, packed_reader reader,
                         text_encoding encoding,
                         walk_result (*walker)(section_walk *walk, uint64_t size))
{
    section_walk walk = start_list(reader, encoding, scanner);
    walk_result walked = walker != nullptr ? walker(&walk, reader.left) : pass_rest(&walk);
    return finish_section(in, scanner, &walk, walked);
}
