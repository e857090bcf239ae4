#include "framework/gui/winapp.h"

#include "framework/gui/multidoctemplate.h"

namespace fw {
namespace {

WinApp* g_app = nullptr;

} // namespace

WinApp::WinApp() { g_app = this; }

WinApp::~WinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

WinApp* WinApp::instance() { return g_app; }

void WinApp::AddDocTemplate(std::unique_ptr<MultiDocTemplate> docTemplate)
{
    m_templates.push_back(std::move(docTemplate));
}

bool WinApp::SaveModified(Document*) { return true; }

bool WinApp::SaveAllModified()
{
    for (const auto& docTemplate : m_templates) {
        for (Document* doc : docTemplate->documents()) {
            if (!SaveModified(doc))
                return false;
        }
    }
    return true;
}

void WinApp::CloseAllDocuments()
{
    for (const auto& docTemplate : m_templates)
        docTemplate->CloseAllDocuments();
}

Document* WinApp::OpenDocumentFile(const QString& path)
{
    if (m_templates.empty())
        return nullptr;
    return m_templates.front()->OpenDocumentFile(path, nullptr);
}

} // namespace fw
