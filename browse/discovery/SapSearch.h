#pragma once
// The IPX search: SAP queries for the server types the catalogue lists.
#include <cstdint>

#include "Search.h"

namespace kvr::browse {

// 0 or an error code; -80 when the type filter names no catalogue entry.
std::int32_t SearchSap(const SearchEnvironment& env, const SearchParameters& params);

}  // namespace kvr::browse
