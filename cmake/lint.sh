#!/bin/sh
# Static checks of the program's own sources; any finding fails.
#   cmake/lint.sh    (after `cmake --preset linux`, for its compile commands)
set -eu
cd "$(dirname "$0")/.."

sources="cli/main.cpp cli/arguments.cpp cli/file_kind.cpp cli/platform_posix.cpp cli/code_page.cpp
    path_rules/*.cpp project/*.cpp ini/*.cpp"
all="cli/*.cpp cli/*.h path_rules/*.cpp path_rules/*.h project/*.cpp project/*.h ini/*.cpp ini/*.h tests/*.cpp
    tests/*.h bench/*.cpp"

echo "clang-format"
clang-format --dry-run --Werror $all
echo "clang-tidy"
# The build's link-time optimisation flags are GCC's; clang-tidy is told to
# let them pass.
clang-tidy --quiet -p build/linux --extra-arg=-Wno-ignored-optimization-argument $sources 2>/dev/null
echo "cppcheck"
cppcheck --enable=warning,style,performance,portability --std=c++17 --error-exitcode=1 \
    --inline-suppr --quiet cli path_rules project ini
