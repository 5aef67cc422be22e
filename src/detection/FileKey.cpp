#include "detection/FileKey.h"

#include "base/Wildcard.h"

namespace halcyra {

int compareFileKeys(std::string_view left, std::string_view right) {
    std::size_t i = 0, j = 0;
    const std::size_t leftSize = left.size(), rightSize = right.size();
    for (;;) {
        // One component of each key: compare lowered bytes, remember the first raw difference.
        int tie = 0;
        for (;;) {
            const bool leftEnd = i == leftSize || left[i] == '/';
            const bool rightEnd = j == rightSize || right[j] == '/';
            if (leftEnd || rightEnd) {
                if (!leftEnd)
                    return 1;
                if (!rightEnd)
                    return -1;
                break;
            }
            const auto a = static_cast<unsigned char>(left[i]);
            const auto b = static_cast<unsigned char>(right[j]);
            if (a != b) {
                const unsigned char lowA = asciiLower(a), lowB = asciiLower(b);
                if (lowA != lowB)
                    return lowA < lowB ? -1 : 1;
                if (tie == 0)
                    tie = a < b ? -1 : 1;
            }
            ++i;
            ++j;
        }
        if (tie != 0)
            return tie;
        const bool leftDone = i == leftSize, rightDone = j == rightSize;
        if (leftDone || rightDone)
            return leftDone == rightDone ? 0 : (leftDone ? -1 : 1);
        ++i; // both stand on '/'
        ++j;
    }
}

} // namespace halcyra
