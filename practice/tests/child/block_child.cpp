// Test child for the hand-over block: takes the inherited mapping fd on its command line, reads the block
// as the terminal control does and prints every field, one per line. Exit 2 for a bad command line, 3 when
// the block cannot be read.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "practice/memory_mapped_file.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: practice_block_child FD\n");
        return 2;
    }
    char* end = nullptr;
    const long fd = std::strtol(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0' || fd < 0 || fd > 65535) {
        std::fprintf(stderr, "bad fd: %s\n", argv[1]);
        return 2;
    }
    std::string error;
    auto conn = practice::ReadPracticeConnBlock(static_cast<int>(fd), &error);
    if (!conn) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 3;
    }
    std::printf("Name=%s\nHost=%s\nSorelData=%s\nSorelProgs=%s\n", conn->m_Name.c_str(), conn->m_Host.c_str(),
                conn->m_SorelData.c_str(), conn->m_SorelProgs.c_str());
    std::printf("PortNumber=%d\nPrinterNumber=%d\nTerminalNumber=%d\nConnType=%d\nPracticeType=%d\n",
                conn->m_PortNumber, conn->m_PrinterNumber, conn->m_TerminalNumber, conn->m_ConnType,
                conn->m_PracticeType);
    std::printf("WanMode=%d\nBillServID=%d\nEnvironment=%s\nRunCommand=%d\nCommand=%s\n", conn->m_WanMode,
                conn->m_BillServID, conn->m_Environment.GetEnvironmentString().c_str(), conn->m_RunCommand,
                conn->m_Command.c_str());
    return 0;
}
