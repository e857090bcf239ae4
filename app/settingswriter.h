#pragma once

#include <QSettings>
#include <QThreadPool>
#include <functional>
#include <utility>

// Writes the application's settings on a thread of its own: a QSettings
// flushes its file to the disk when it syncs, and during another program's
// writeback that held the GUI thread after every save, every file dialog
// and at exit. Writes run one at a time, in the order asked for, each on a
// QSettings of the application's (organisation and application names set
// at start-up); destroying the writer waits for them. The main frame owns
// the one writer of the application.
class CSettingsWriter {
public:
    CSettingsWriter() { m_thread.setMaxThreadCount(1); }

    void Write(std::function<void(QSettings&)> change)
    {
        m_thread.start([change = std::move(change)] {
            QSettings settings;
            change(settings);
        });
    }

private:
    QThreadPool m_thread;
};
