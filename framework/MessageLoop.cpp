#include "MessageLoop.h"

#include <algorithm>
#include <vector>

namespace kvr {

namespace {
thread_local std::vector<CMessageFilter*> t_filters;
}

void AddThreadMessageFilter(CMessageFilter* filter) {
    if (std::find(t_filters.begin(), t_filters.end(), filter) == t_filters.end()) t_filters.push_back(filter);
}

void RemoveThreadMessageFilter(CMessageFilter* filter) {
    t_filters.erase(std::remove(t_filters.begin(), t_filters.end(), filter), t_filters.end());
}

bool PreTranslateThreadMessage(MSG& msg) {
    // A filter may remove itself (or another) while it runs.
    const std::vector<CMessageFilter*> filters = t_filters;
    for (auto it = filters.rbegin(); it != filters.rend(); ++it)
        if (std::find(t_filters.begin(), t_filters.end(), *it) != t_filters.end() && (*it)->PreTranslateMessage(msg))
            return true;
    return false;
}

}  // namespace kvr
