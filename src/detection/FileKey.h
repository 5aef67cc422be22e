#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>

namespace halcyra {

// Orders file and folder keys ("/sub/name.ext", "/a/b/", full paths) component by component: each
// component is compared ASCII case-insensitively first and by its bytes as the tie-break, so names
// that differ only in case stay distinct and every folder's entries follow the folder directly.
// A strict weak ordering in which only identical keys are equivalent.
int compareFileKeys(std::string_view left, std::string_view right);

struct FileKeyLess {
    using is_transparent = void;
    bool operator()(std::string_view left, std::string_view right) const {
        return compareFileKeys(left, right) < 0;
    }
};

// A sorted set of keys without duplicates, looked up exactly (file and folder exclusion lists).
using KeySet = std::set<std::string, FileKeyLess>;

} // namespace halcyra
