#include "framework/core/view.h"

#include "framework/core/document.h"

namespace fw {

View::~View()
{
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

void View::OnActivateView(bool, View*, View*) {}

} // namespace fw
