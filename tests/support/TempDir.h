// A scratch folder under /tmp for one test, removed with everything in it
// when the object goes.
#pragma once

#include <string>

class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_path; }       // Linux form
    std::string Win() const;                                 // "Z:\tmp\..." form
    std::string File(const std::string& relative) const;     // Linux path below it
    std::string WinFile(const std::string& relative) const;  // Windows path below it
    // Writes a file below the folder (making its folders); relative uses "/".
    bool Write(const std::string& relative, const std::string& data) const;
    std::string Read(const std::string& relative) const;  // "" when missing

private:
    std::string m_path;
};
