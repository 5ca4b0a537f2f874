#include <cstring>

#include "PortSession.h"
#include "Progress.h"

namespace svc {

void OnPipeMessage(PortSession& session) {
    DWORD type = 0;
    if (session.pipeMessageLength >= 4) std::memcpy(&type, session.pipeReceive, 4);
    Progress(L"[%lu] Pipe message %lu, %lu bytes.", session.id, type, session.pipeMessageLength);
    if (!session.online) {
        session.online = true;
        StartPipeRead(session);
    }
}

void OnServerBytes(PortSession& session) { session.unparsed = 0; }
void RunTimerSteps(PortSession&) {}
void EndSession(PortSession&) {}

}  // namespace svc
