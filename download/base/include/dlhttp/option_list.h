#pragma once

// Ordered list of (name, value) pairs: the options of a request and the
// header fields of a response. Keeps insertion order and duplicate names.

#include <string>
#include <utility>
#include <vector>

namespace dlhttp {

class option_list {
public:
    typedef std::pair<std::string, std::string> value_type;
    typedef std::vector<value_type> container_type;
    typedef container_type::const_iterator const_iterator;

    // Appends an entry, also when one of that name exists.
    void insert(const std::string& name, const std::string& value);
    // Erases the first entry whose name equals `name` exactly (case-sensitive).
    void remove(const std::string& name);
    // First entry whose name equals `name` ignoring case: copies its value and
    // returns true; otherwise false and `value` is left unchanged.
    bool find(const std::string& name, std::string& value) const;
    // Value of that first entry, or an empty string.
    std::string find(const std::string& name) const;

    void clear() { options_.clear(); }
    bool empty() const { return options_.empty(); }
    std::size_t size() const { return options_.size(); }
    const_iterator begin() const { return options_.begin(); }
    const_iterator end() const { return options_.end(); }
    const container_type& options() const { return options_; }

    // The request step's fake-continue flag (false in a new list; copied with
    // the list; none of the list operations looks at it).
    bool fake_continue() const { return fake_continue_; }
    void set_fake_continue(bool on) { fake_continue_ = on; }

private:
    container_type options_;
    bool fake_continue_ = false;
};

}  // namespace dlhttp
