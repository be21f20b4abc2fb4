#pragma once

// Names of the engine's own request/response options (leading underscore) and
// of the header fields the engine uses, plus the logger's level names.

namespace dlhttp {
namespace option_names {

inline constexpr const char request_method[] = "_request_method";
inline constexpr const char http_version[] = "_http_version";
inline constexpr const char request_body[] = "_request_body";
inline constexpr const char status_code[] = "_status_code";
inline constexpr const char path[] = "_path";
inline constexpr const char url[] = "_url";
inline constexpr const char host[] = "Host";
inline constexpr const char accept[] = "Accept";
inline constexpr const char range[] = "Range";
inline constexpr const char cookie[] = "Cookie";
inline constexpr const char referer[] = "Referer";
inline constexpr const char user_agent[] = "User-Agent";
inline constexpr const char content_type[] = "Content-Type";
inline constexpr const char content_length[] = "Content-Length";
inline constexpr const char content_range[] = "Content-Range";
inline constexpr const char connection[] = "Connection";
inline constexpr const char proxy_connection[] = "Proxy-Connection";
inline constexpr const char accept_encoding[] = "Accept-Encoding";
inline constexpr const char transfer_encoding[] = "Transfer-Encoding";
inline constexpr const char content_encoding[] = "Content-Encoding";

}  // namespace option_names

// The logger's level names, in level order.
inline constexpr const char* const log_level_names[] = {"DEBUG", "INFO", "WARNING", "ERROR", "FILE"};

}  // namespace dlhttp
