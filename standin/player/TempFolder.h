// A fresh folder under the temp path, removed with the files in it when the owner goes.
#pragma once

#include <string>

namespace standin {

class TempFolder {
public:
    explicit TempFolder(const std::string& prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool IsValid() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    // Path + "\" + name.
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

}  // namespace standin
