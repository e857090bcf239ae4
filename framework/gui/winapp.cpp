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

} // namespace fw
