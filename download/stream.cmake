# DlHttpStream: one HTTP/HTTPS client connection (dlhttp::http_stream) over
# Boost.Asio, with HTTP and SOCKS proxies, TLS, chunked and gzip bodies.
find_package(Boost 1.74 REQUIRED COMPONENTS thread system)
find_package(OpenSSL REQUIRED)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

add_library(DlHttpStream STATIC
  include/dlhttp/http_stream.h
  include/dlhttp/proxy_settings.h
  include/dlhttp/ssl_stream.h
  include/dlhttp/tls_context.h
  include/dlhttp/tls_session_cache.h
  include/dlhttp/variant_stream.h
  src/http_stream.cpp
  src/http_stream_request.cpp
  src/http_stream_socks.cpp
  src/http_stream_response.cpp
  src/ssl_stream.cpp
  src/tls_context.cpp
  src/tls_session_cache.cpp
)
target_include_directories(DlHttpStream PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/include")
target_link_libraries(DlHttpStream PUBLIC DlHttpBase Boost::system Boost::thread OpenSSL::SSL ZLIB::ZLIB
                      Threads::Threads)
zn_target_defaults(DlHttpStream)
