# DlHttpBase: the download engine's values and files (no network).
find_package(Boost 1.74 REQUIRED COMPONENTS system date_time filesystem)

add_library(DlHttpBase STATIC
  src/http_error.cpp
  src/text.cpp
  src/url.cpp
  src/option_list.cpp
  src/response_head.cpp
  src/http_date.cpp
  src/cookie.cpp
  src/native_file.cpp
  src/storage.cpp
  src/entry.cpp
  src/bencode.cpp
  src/resume_record.cpp)
target_include_directories(DlHttpBase PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/include")
target_link_libraries(DlHttpBase PUBLIC Boost::system Boost::date_time Boost::filesystem)
zn_target_defaults(DlHttpBase)
