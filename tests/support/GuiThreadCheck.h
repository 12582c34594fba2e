#pragma once

#include "platform/UserFile.h"

namespace ovra::test {

// Switches the GUI-thread check for one test and puts it back after.
class CheckMode {
public:
    explicit CheckMode(UserFile::GuiThreadCheck check)
        : m_saved(UserFile::guiThreadCheck())
    {
        UserFile::setGuiThreadCheck(check);
    }
    ~CheckMode() { UserFile::setGuiThreadCheck(m_saved); }
    CheckMode(const CheckMode&) = delete;
    CheckMode& operator=(const CheckMode&) = delete;

private:
    UserFile::GuiThreadCheck m_saved;
};

} // namespace ovra::test
