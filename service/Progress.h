#pragma once
// Progress lines of console debug mode; silent when running as a service.
namespace svc {

void EnableProgress(bool enabled);
void Progress(const wchar_t* format, ...);

}  // namespace svc
