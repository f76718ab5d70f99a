// A chosen file or folder and its path.
#pragma once

#include "base/PMString.h"
#include "io/IDFile.h"

class SDKFileHelper {
public:
    SDKFileHelper() = default;
    explicit SDKFileHelper(const PMString& path) : fPath(path), fFile(path) {}
    virtual ~SDKFileHelper() = default;
    bool16 IsChosen() const { return fChosen ? kTrue : kFalse; }
    const IDFile& GetIDFile() const { return fFile; }
    const PMString& GetPath() const { return fPath; }

protected:
    void SetChosen(const IDFile& file) {
        fFile = file;
        fPath = file.GetPathString();
        fPath.SetTranslatable(kFalse);
        fChosen = true;
    }

private:
    PMString fPath;
    IDFile fFile;
    bool fChosen = false;
};
