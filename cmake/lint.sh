#!/bin/sh
# Static checks of the program's own sources; any finding fails.
#   cmake/lint.sh    (after `cmake --preset linux`, for its compile commands)
set -eu
cd "$(dirname "$0")/.."

sources="cli/main.cpp cli/arguments.cpp cli/platform_posix.cpp cli/cp932.cpp project/*.cpp"
all="cli/*.cpp cli/*.h project/*.cpp project/*.h tests/*.cpp tests/*.h bench/*.cpp"

echo "clang-format"
clang-format --dry-run --Werror $all
echo "clang-tidy"
clang-tidy --quiet -p build/linux $sources 2>/dev/null
echo "cppcheck"
cppcheck --enable=warning,style,performance,portability --std=c++17 --error-exitcode=1 \
    --inline-suppr --quiet cli project
