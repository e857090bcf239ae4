#include "app/openprogress.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

COpenProgress::COpenProgress(QWidget* parent)
    : QWidget(parent)
    , m_text(new QLabel(this))
    , m_bar(new QProgressBar(this))
    , m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->addWidget(m_cancel);
    m_bar->setTextVisible(false);
    m_bar->setMaximumWidth(m_bar->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 24);
    // Keys stay with the scene windows; Escape cancels from anywhere.
    m_cancel->setFocusPolicy(Qt::NoFocus);
    connect(m_cancel, &QPushButton::clicked, this, &COpenProgress::cancelRequested);
    hide();
}

void COpenProgress::ShowLoad(const QString& path, int permille)
{
    m_text->setText(QStringLiteral("Opening \u201C%1\u201D\u2026").arg(QFileInfo(path).fileName()));
    if (permille < 0) {
        m_bar->setRange(0, 0);
    } else {
        m_bar->setRange(0, 1000);
        m_bar->setValue(permille);
    }
    show();
}

QString COpenProgress::Text() const { return m_text->text(); }
