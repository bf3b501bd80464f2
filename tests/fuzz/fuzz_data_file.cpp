// The data-file reader, and the writer's promise: a tree it accepts reads
// back as the same tree and writes as the same text.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "System/Source/DataNode.h"

namespace {

std::string g_folder;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void FreeTree(DataNode* root) {
    FreeNodeTree(root);
    delete root;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/tazzle-fuzz-data-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    g_folder = pattern;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string input = g_folder + "/input.txt";
    const std::string first = g_folder + "/first.txt";
    const std::string second = g_folder + "/second.txt";
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    DataNode* tree = ReadDataFile(input);
    if (!tree) return 0;
    if (WriteDataFile(first, tree)) {
        DataNode* back = ReadDataFile(first);
        if (!back || !CompareTrees(tree, back)) {
            std::fprintf(stderr, "the written tree reads back different\n");
            std::abort();
        }
        if (!WriteDataFile(second, back) || ReadAll(first) != ReadAll(second)) {
            std::fprintf(stderr, "the tree read back writes different text\n");
            std::abort();
        }
        FreeTree(back);
    }
    FreeTree(tree);
    return 0;
}
