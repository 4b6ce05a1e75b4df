// A stand-in for the application's program, with no dependencies: when it
// runs it writes the tag appended to its own file ("TAG:<text>") into
// "<its own path>.ran"; with the argument "stay" it then keeps running for
// 20 s, as an application that is still open during its update.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::FILE *openFile(const std::string &path, const char *mode)
{
#ifdef _WIN32
    // The path may hold any letter: go through UTF-16.
    wchar_t wide[MAX_PATH * 2];
    wchar_t wideMode[8];
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide, MAX_PATH * 2);
    MultiByteToWideChar(CP_UTF8, 0, mode, -1, wideMode, 8);
    return _wfopen(wide, wideMode);
#else
    return std::fopen(path.c_str(), mode);
#endif
}

std::string ownPath(const char *argv0)
{
#ifdef _WIN32
    (void)argv0;
    wchar_t wide[MAX_PATH * 2];
    GetModuleFileNameW(nullptr, wide, MAX_PATH * 2);
    char utf8[MAX_PATH * 6];
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
#else
    return argv0;
#endif
}

} // namespace

int main(int argc, char **argv)
{
    const std::string self = ownPath(argv[0]);
    std::string tag = "untagged";
    if (std::FILE *in = openFile(self, "rb")) {
        std::fseek(in, -64, SEEK_END);
        char tail[65] = {};
        const size_t n = std::fread(tail, 1, 64, in);
        std::fclose(in);
        const std::string text(tail, n);
        const size_t at = text.rfind("TAG:");
        if (at != std::string::npos)
            tag = text.substr(at + 4, text.find('\n', at) - at - 4);
    }
    if (std::FILE *out = openFile(self + ".ran", "ab")) {
        std::fprintf(out, "%s ran\n", tag.c_str());
        std::fclose(out);
    }
    if (argc > 1 && std::strcmp(argv[1], "stay") == 0)
        std::this_thread::sleep_for(std::chrono::seconds(20));
    return 0;
}
