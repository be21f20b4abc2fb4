#pragma once
// A /tmp of a test's own, for a test run again in a private mount namespace
// (unshare --mount): the shell command that mounts an empty tmpfs on /tmp
// there. A tree that itself lies under /tmp (a clone checked out there) would
// vanish under that tmpfs with the test program in it, so the command binds
// the folders the test still needs back in from the old /tmp, reached through
// a descriptor opened before the mount. Header only, plain C++.
#include <set>
#include <string>
#include <vector>

namespace testsupport {

// `program`: the test program's path. It, the build's application folder and
// the sources (ZN_APP_DIR, ZN_SOURCE_DIR of every test program) stay reachable:
// those under /tmp keep their top folder.
inline std::string privateTmpSetup(const std::string& program) {
    std::set<std::string> tops;
    for (const std::string& path : std::vector<std::string>{program, ZN_APP_DIR, ZN_SOURCE_DIR}) {
        if (path.rfind("/tmp/", 0) != 0) continue;
        const std::string top = path.substr(5, path.find('/', 5) - 5);
        if (!top.empty() && top.find('\'') == std::string::npos) tops.insert(top);
    }
    std::string script = "exec 3</tmp && mount -t tmpfs -o mode=1777 zn-private-tmp /tmp";
    for (const std::string& top : tops) {
        // --no-canonicalize: the kernel, not mount(8), resolves the
        // descriptor's path, which by now names the new tmpfs as text.
        script += " && mkdir -p '/tmp/" + top + "' && mount --no-canonicalize --bind '/proc/self/fd/3/" + top +
                  "' '/tmp/" + top + "'";
    }
    return script + " && exec 3<&-";
}

}  // namespace testsupport
