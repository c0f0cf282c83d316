// Where the inventory writes the lines of a run. The dialog is the one sink
// in the product; the inventory knows nothing else of it.
#pragma once

class CLogSink {
public:
    // `text` is one NUL-terminated line carrying its own "\r\n".
    virtual void AppendLog(const char* text) = 0;

protected:
    ~CLogSink() = default;
};
