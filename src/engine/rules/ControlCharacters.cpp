#include "rules/ControlCharacters.h"

#include <unicode/uchar.h>
#include <unicode/uset.h>

namespace tess {

const CodePointSet& ControlCharacters::set()
{
    static const CodePointSet kSet = [] {
        CodePointSet out;
        UErrorCode status = U_ZERO_ERROR;
        USet* set = uset_openEmpty();
        uset_applyIntPropertyValue(set, UCHAR_GENERAL_CATEGORY_MASK, U_GC_CC_MASK | U_GC_CF_MASK, &status);
        if (U_SUCCESS(status)) {
            const int32_t ranges = uset_getItemCount(set);
            for (int32_t i = 0; i < ranges; ++i) {
                UChar32 start = 0;
                UChar32 end = 0;
                UErrorCode itemStatus = U_ZERO_ERROR;
                if (uset_getItem(set, i, &start, &end, nullptr, 0, &itemStatus) == 0) {
                    for (UChar32 c = start; c <= end; ++c) {
                        out.insert(static_cast<char32_t>(c));
                    }
                }
            }
        }
        uset_close(set);
        return out;
    }();
    return kSet;
}

bool ControlCharacters::contains(char32_t codePoint)
{
    const int8_t category = u_charType(static_cast<UChar32>(codePoint));
    return category == U_CONTROL_CHAR || category == U_FORMAT_CHAR;
}

}  // namespace tess
