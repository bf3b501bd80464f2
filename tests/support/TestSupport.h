// Helpers shared by the tests.
#pragma once

#include <functional>
#include <string>

namespace TestSupport {

// Runs `body` and returns what it wrote to standard output.
std::string CaptureStdout(const std::function<void()>& body);

// A fresh temporary directory, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // Writes `content` to Path()/relative (creating folders); returns the
    // full path.
    std::string Write(const std::string& relative, const std::string& content) const;

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);

}  // namespace TestSupport
