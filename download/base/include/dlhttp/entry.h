#pragma once

// A bencode value: integer, byte string, list, dictionary or undefined.

#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

namespace dlhttp {

class entry {
public:
    typedef std::int64_t integer_type;
    typedef std::string string_type;
    typedef std::vector<entry> list_type;
    typedef std::map<std::string, entry> dictionary_type;

    enum data_type { int_t = 0, string_t = 1, list_t = 2, dictionary_t = 3, undefined_t = 4 };

    entry() = default;
    explicit entry(data_type type);
    // Any integer type (not bool) makes an integer value.
    template <typename T, typename = std::enable_if_t<std::is_integral<T>::value && !std::is_same<T, bool>::value>>
    entry(T value) : type_(int_t),
                     integer_(static_cast<integer_type>(value)) {}
    entry(const string_type& value);
    entry(const char* value);
    entry(const list_type& value);
    entry(const dictionary_type& value);

    data_type type() const { return type_; }

    // Typed access. Reading a value as a type it does not hold throws
    // boost::system::system_error with invalid_entry_type; the non-const forms
    // first turn an undefined value into an empty value of the type.
    integer_type& integer();
    const integer_type& integer() const;
    string_type& string();
    const string_type& string() const;
    list_type& list();
    const list_type& list() const;
    dictionary_type& dict();
    const dictionary_type& dict() const;

    // Dictionary access for writing: inserts an undefined value under a
    // missing key.
    entry& operator[](const std::string& key);
    // The value under `key`, or null when the key is missing or this is no
    // dictionary.
    const entry* find_key(const std::string& key) const;

    bool operator==(const entry& other) const;
    bool operator!=(const entry& other) const { return !(*this == other); }

private:
    void require(data_type type) const;
    void become(data_type type);

    data_type type_ = undefined_t;
    integer_type integer_ = 0;
    string_type string_;
    list_type list_;
    dictionary_type dict_;
};

}  // namespace dlhttp
