// Stands in for the server's Corvex.exe: writes the number of its arguments, each
// argument and the folder it runs in, a line each, into "args" beside itself.
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path beside = fs::absolute(fs::path(argv[0])).parent_path();
    {
        std::ofstream out(beside / "args.tmp", std::ios::binary);
        out << argc - 1 << '\n';
        for (int i = 1; i < argc; ++i)
            out << argv[i] << '\n';
        out << fs::current_path().string() << '\n';
        if (!out.flush())
            return 1;
    }
    // Whole or not at all: the test reads the file as soon as it appears.
    fs::rename(beside / "args.tmp", beside / "args");
    return 0;
}
