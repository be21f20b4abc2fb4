#include "dlhttp/entry.h"

#include <boost/system/system_error.hpp>

#include "dlhttp/http_error.h"

namespace dlhttp {

entry::entry(data_type type) : type_(type) {}
entry::entry(const string_type& value) : type_(string_t), string_(value) {}
entry::entry(const char* value) : type_(string_t), string_(value) {}
entry::entry(const list_type& value) : type_(list_t), list_(value) {}
entry::entry(const dictionary_type& value) : type_(dictionary_t), dict_(value) {}

void entry::require(data_type type) const {
    if (type_ != type) throw boost::system::system_error(make_error_code(invalid_entry_type));
}

void entry::become(data_type type) {
    if (type_ == undefined_t) type_ = type;
    require(type);
}

entry::integer_type& entry::integer() {
    become(int_t);
    return integer_;
}

const entry::integer_type& entry::integer() const {
    require(int_t);
    return integer_;
}

entry::string_type& entry::string() {
    become(string_t);
    return string_;
}

const entry::string_type& entry::string() const {
    require(string_t);
    return string_;
}

entry::list_type& entry::list() {
    become(list_t);
    return list_;
}

const entry::list_type& entry::list() const {
    require(list_t);
    return list_;
}

entry::dictionary_type& entry::dict() {
    become(dictionary_t);
    return dict_;
}

const entry::dictionary_type& entry::dict() const {
    require(dictionary_t);
    return dict_;
}

entry& entry::operator[](const std::string& key) { return dict()[key]; }

const entry* entry::find_key(const std::string& key) const {
    if (type_ != dictionary_t) return nullptr;
    auto it = dict_.find(key);
    return it == dict_.end() ? nullptr : &it->second;
}

bool entry::operator==(const entry& other) const {
    if (type_ != other.type_) return false;
    switch (type_) {
    case int_t: return integer_ == other.integer_;
    case string_t: return string_ == other.string_;
    case list_t: return list_ == other.list_;
    case dictionary_t: return dict_ == other.dict_;
    default: return true;
    }
}

}  // namespace dlhttp
