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

void WinApp::AddDocTemplate(std::unique_ptr<MultiDocTemplate> docTemplate) { m_template = std::move(docTemplate); }

bool WinApp::SaveAllModified()
{
    if (!m_template)
        return true;
    for (Document* doc : m_template->documents()) {
        if (!SaveModified(doc))
            return false;
    }
    return true;
}

void WinApp::CloseAllDocuments()
{
    if (m_template)
        m_template->CloseAllDocuments();
}

Document* WinApp::OpenDocumentFile(const QString& path)
{
    return m_template ? m_template->OpenDocumentFile(path, nullptr) : nullptr;
}

} // namespace fw
