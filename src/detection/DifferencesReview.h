#pragma once

#include "detection/FileKey.h"
#include "detection/TreeScan.h"

#include <functional>

namespace halcyra {

// Reviews one run's differences with the person at the desktop. Returns true when the new state was
// accepted; `exclusionsChanged` tells whether `exclusionList` was edited. Both lists stay the caller's;
// only the entries' Excluded flags and the exclusion list are changed.
using ShowDifferencesEntry =
    std::function<bool(CompareList& compareList, KeySet& exclusionList, bool& exclusionsChanged)>;

// The entry the run engine calls: the differences dialog in the desktop program, a script in tests.
// Empty until one is installed; an empty entry answers as a cancelled review.
inline ShowDifferencesEntry& showDifferencesEntry() {
    static ShowDifferencesEntry entry;
    return entry;
}

} // namespace halcyra
