// Stands in for the container in the selector's tests: records its argv, working folder, open fds and the
// decoded hand-over block into the file $FAKE_BRANTOR_RECORD, one "key=value" a line, written whole
// through a rename so a reader never sees half of it.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "practice/memory_mapped_file.h"

namespace {

std::set<int> OpenFds() {
    std::set<int> fds;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr)
        return fds;
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const int fd = std::atoi(entry->d_name);
        if (fd != own)
            fds.insert(fd);
    }
    ::closedir(dir);
    return fds;
}

}  // namespace

int main(int argc, char** argv) {
    // Taken first, before anything here opens a file.
    const std::set<int> fds = OpenFds();
    const char* record = std::getenv("FAKE_BRANTOR_RECORD");
    if (record == nullptr || *record == '\0') {
        std::fprintf(stderr, "fake brantor: FAKE_BRANTOR_RECORD is not set\n");
        return 2;
    }
    std::string out;
    for (int i = 0; i < argc; ++i)
        out += "argv=" + std::string(argv[i]) + "\n";
    std::error_code ec;
    out += "cwd=" + std::filesystem::current_path(ec).string() + "\n";
    for (int fd : fds)
        out += "fd=" + std::to_string(fd) + "\n";
    if (argc >= 3 && std::string(argv[1]) == "-X") {
        std::string error;
        if (auto conn = practice::ReadPracticeConnBlock(std::atoi(argv[2]), &error)) {
            out += "Name=" + conn->m_Name + "\nSorelData=" + conn->m_SorelData +
                   "\nSorelProgs=" + conn->m_SorelProgs + "\nHost=" + conn->m_Host +
                   "\nTerminalNumber=" + std::to_string(conn->m_TerminalNumber) +
                   "\nPrinterNumber=" + std::to_string(conn->m_PrinterNumber) +
                   "\nConnType=" + std::to_string(conn->m_ConnType) + "\nCommand=" + conn->m_Command +
                   "\nRunCommand=" + std::to_string(conn->m_RunCommand) + "\n";
        } else {
            out += "BlockError=" + error + "\n";
        }
    }
    const std::string temp = std::string(record) + ".part";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file << out;
        if (!file)
            return 3;
    }
    return std::rename(temp.c_str(), record) == 0 ? 0 : 3;
}
