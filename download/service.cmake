# DlHttpService: the multi-connection download (dlhttp::multi_download) and the
# download service (AddDownloadTask, StartDownloadTask, QueryDownloadTask).
find_package(Boost 1.74 REQUIRED COMPONENTS thread system)
find_package(ZLIB REQUIRED)
find_package(OpenSSL REQUIRED)

add_library(DlHttpService STATIC
  src/range_map.cpp
  src/multi_download.cpp
  src/DownloadObj.cpp
  src/DownloadTaskManager.cpp
)
target_include_directories(DlHttpService PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/include")
target_link_libraries(DlHttpService PUBLIC DlHttpStream Boost::thread Boost::system Threads::Threads
                                    PRIVATE ZLIB::ZLIB OpenSSL::SSL)
zn_target_defaults(DlHttpService)
