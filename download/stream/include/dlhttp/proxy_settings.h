#pragma once

// The proxy a stream goes through. Copied by value into the settings of each
// download and from there into each stream.

#include <cstdint>
#include <string>

namespace dlhttp {

enum ProxyKind : int32_t {
    proxy_none = 0,         // connect to the URL's host
    proxy_socks4 = 1,       // SOCKS 4, `username` is the user id
    proxy_socks5 = 2,       // SOCKS 5, with user name and password when `username` is set
    proxy_socks5_auth = 3,  // the same exchange as proxy_socks5
    proxy_http = 4,         // HTTP proxy; credentials, when any, from the URL's user information
    proxy_http_auth = 5     // HTTP proxy with `username` and `password` (Basic)
};

struct ProxySettings {
    std::string host;  // host name or address of the proxy
    int32_t port = 0;  // port of the proxy (read only for kinds 1 to 5)
    std::string username;
    std::string password;
    int32_t kind = proxy_none;  // a ProxyKind
};

}  // namespace dlhttp
