#include "framework/core/view.h"

#include "framework/core/document.h"

namespace fw {

View::~View()
{
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

} // namespace fw
