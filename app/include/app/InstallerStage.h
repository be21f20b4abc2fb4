#pragma once
// The way the iTunes installer goes before a repair, in this order (the
// enumerators are listed in it):
//   LocalHashCheck     the installer already in the application folder is hashed;
//   Download           when it is missing or its hash differs, it is downloaded;
//   DownloadHashCheck  the installer to use (downloaded, or found and matching)
//                      is hashed once more;
//   Unpacking          7-Zip unpacks it into the folder the engine works from.
// The two hash checks keep the numbers the hash thread carries as its check
// type (0 and 1), so its signal's int turns straight into a stage.
enum class InstallerStage : int {
    LocalHashCheck = 0,
    Download = 2,
    DownloadHashCheck = 1,
    Unpacking = 3,
};
