#pragma once

#include "framework/core/commandtarget.h"

#include <QString>
#include <memory>

namespace fw {

class Document;
class MultiDocTemplate;

// The application object: last stop of the command route, owner of the
// document template, and the place that decides whether a modified
// document may close. Exactly one exists at a time; its constructor makes
// it the instance and its destructor clears that.
class WinApp : public CommandTarget {
public:
    WinApp();
    ~WinApp() override;

    static WinApp* instance();

    // Takes ownership of the application's one template.
    void AddDocTemplate(std::unique_ptr<MultiDocTemplate> docTemplate);

    // Asks whether `doc` may be closed, saving it first if the user wants.
    // The base lets every document close unsaved; the application asks.
    virtual bool SaveModified(Document*) { return true; }
    // SaveModified for every open document; false at the first refusal.
    virtual bool SaveAllModified();
    // Closes every document with its windows, unasked.
    virtual void CloseAllDocuments();
    // Opens `path` (a file dropped on the main frame) through the template;
    // the application may report a failure. Null on failure.
    virtual Document* OpenDocumentFile(const QString& path);

private:
    std::unique_ptr<MultiDocTemplate> m_template;
};

} // namespace fw
