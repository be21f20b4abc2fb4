#include "dlhttp/option_list.h"

#include <algorithm>

#include "dlhttp/text.h"

namespace dlhttp {

using detail::to_lower;

void option_list::insert(const std::string& name, const std::string& value) { options_.emplace_back(name, value); }

void option_list::remove(const std::string& name) {
    auto it = std::find_if(options_.begin(), options_.end(), [&](const value_type& v) { return v.first == name; });
    if (it != options_.end()) options_.erase(it);
}

bool option_list::find(const std::string& name, std::string& value) const {
    const std::string wanted = to_lower(name);
    for (const value_type& v : options_) {
        if (to_lower(v.first) == wanted) {
            value = v.second;
            return true;
        }
    }
    return false;
}

std::string option_list::find(const std::string& name) const {
    std::string value;
    find(name, value);
    return value;
}

}  // namespace dlhttp
