#include "UiApi.h"

namespace svc {

const UiApi& KvrAuthUi() {
    static const UiApi api{CreateUI,      DestroyUI,   CreateAuthWindow, ChangePassword,   PostNarration,
                           DestroyNarrationWindow, CreateModem, UpdateSendLED, UpdateReceiveLED, UpdateModemLEDs};
    return api;
}

}  // namespace svc
