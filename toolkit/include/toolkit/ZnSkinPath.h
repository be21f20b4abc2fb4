#pragma once
// The skin folder as every window addresses its images.
#include <string>

// The application folder followed by "/skin", without a trailing slash, as
// UTF-8. Image paths such as "/Application/tip_mark.png" are appended to it:
//   QString::fromStdString(GetSkinPath()) + "/Application/tip_mark.png"
// Reads no setting and works before any Qt object exists.
std::string GetSkinPath();
