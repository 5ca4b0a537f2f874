#pragma once
// The library's trace routine. Its texts mark the decisions a search makes;
// they are discarded, and the calls stay so one can be hooked when debugging.
namespace kvr::browse {

inline void Trace(const char* /*text*/) {}

}  // namespace kvr::browse
