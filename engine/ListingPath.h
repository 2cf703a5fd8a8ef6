#pragma once
#include <string>

// The assembler listing that belongs to an S19 file: the path without its extension, plus ".lst".
// Only a dot in the file's own name starts an extension, so "build.v2/prog" gives
// "build.v2/prog.lst" and a leading dot (".hidden") is part of the name.
inline std::string listingPathFor(const std::string& s19Path)
{
    const size_t slash = s19Path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = s19Path.find_last_of('.');
    if (dot == std::string::npos || dot <= nameStart)
        return s19Path + ".lst";
    return s19Path.substr(0, dot) + ".lst";
}
