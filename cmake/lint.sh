#!/bin/sh
# Static checks of the program's own sources; any finding fails.
#   cmake/lint.sh    (after `cmake --preset linux`, for its compile commands)
set -eu
cd "$(dirname "$0")/.."

folders="streams code_pages path_rules packed fields timeline aup text_files cli"
# Every source Linux builds; the Windows files are checked by their
# own build.
sources=$(for folder in $folders; do ls $folder/*.cpp; done | grep -v -e _windows.cpp -e _table.cpp)
all=$(find $folders tests bench -maxdepth 1 -name "*.cpp" -o -maxdepth 1 -name "*.h" | sort)

echo "clang-format"
clang-format --dry-run --Werror $all
echo "clang-tidy"
# The build's link-time optimisation flags are GCC's; clang-tidy is told to
# let them pass.
clang-tidy --quiet -p build/linux --extra-arg=-Wno-ignored-optimization-argument $sources 2>/dev/null
echo "cppcheck"
cppcheck --enable=warning,style,performance,portability --std=c++17 --error-exitcode=1 \
    --inline-suppr --quiet $folders
