#include "ErrorTexts.h"

#include <iterator>

#include "ChooserRes.h"
#include "Resources.h"

namespace kvr {

namespace {
// The codes with texts, in the order of their strings from IDS_ERROR_FIRST.
constexpr long kCodesWithText[] = {-2,  -3,  -5,  -7,  -8,  -9,  -10, -50, -51, -52,
                                   -53, -54, -55, -56, -57, -58, -80, -81, -131};
static_assert(IDS_ERROR_FIRST + std::size(kCodesWithText) == IDS_ERROR_UNKNOWN);
}  // namespace

std::wstring LibraryErrorText(long code) {
    for (std::size_t i = 0; i < std::size(kCodesWithText); ++i)
        if (kCodesWithText[i] == code) return LoadResString(static_cast<UINT>(IDS_ERROR_FIRST + i));
    return FormatResString(IDS_ERROR_UNKNOWN, {code});
}

}  // namespace kvr
