// Stand-in for an outside program that the product starts and that is not part
// of this build (Pellact). It accepts the arguments it is started with and ends
// with 0.
//
// So that tests can see how it was started: when the environment variable
// ZN_FAKE_ARGV_LOG names a file, it first appends its argv there - one argument
// per line, the program path first, then an empty line - in a single write, so
// that starts at the same time do not mix their lines.
#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
    const char* log = std::getenv("ZN_FAKE_ARGV_LOG");
    if (log && *log) {
        std::string record;
        for (int i = 0; i < argc; ++i) {
            record += argv[i];
            record += '\n';
        }
        record += '\n';
        const int fd = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const char* data = record.data();
            std::size_t left = record.size();
            while (left) {
                const ssize_t n = ::write(fd, data, left);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                data += n;
                left -= static_cast<std::size_t>(n);
            }
            ::close(fd);
        }
    }
    return 0;
}
