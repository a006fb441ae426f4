#include "platform/TextFile.h"

#include <sys/stat.h>

namespace brelvo {

TextFile::~TextFile() { close(); }

bool TextFile::open(const std::string& path)
{
    close();
    file_ = std::fopen(path.c_str(), "re");
    if (!file_)
        return false;
    struct stat st{};
    if (::fstat(fileno(file_), &st) != 0 || S_ISDIR(st.st_mode)) {
        close();
        return false;
    }
    return true;
}

bool TextFile::readLine(std::string& line)
{
    line.clear();
    if (!file_)
        return false;
    int c;
    bool any = false;
    while ((c = std::getc(file_)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line.push_back(static_cast<char>(c));
    }
    if (!any)
        return false;
    // A CR before the LF belongs to the line end, as text mode reads it.
    while (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

void TextFile::close()
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

} // namespace brelvo
