#include "startup/frmStart.h"

#include "platform/ControlType.h"
#include "platform/Program.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QPointer<frmStart> g_form;
} // namespace

frmStart::frmStart()
{
    setObjectName(QStringLiteral("frmStart"));
    vb::SetTag(this, QStringLiteral("R2307"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 420);

    auto* layout = new QVBoxLayout(this);
    lblStep = new QLabel(QStringLiteral("Välj vad som skall göras"), this);
    lblStep->setObjectName(QStringLiteral("lblStep_0"));
    vb::SetTag(lblStep, QStringLiteral("R2183"));
    lblStep->setWordWrap(true);
    layout->addWidget(lblStep);
    layout->addStretch();

    auto* nav = new QHBoxLayout;
    nav->addStretch();
    const char* captions[] = {"", "Avbryt", "< &Föreg.", "&Nästa >", "Slutf&ör"};
    const char* tags[] = {"", "R1048;R2039", "R1479;R2038", "R1478;R2037", "R2248;R2277"};
    for (int i = 1; i <= 4; ++i) {
        cmdNav[i] = new QPushButton(QString::fromUtf8(captions[i]), this);
        cmdNav[i]->setObjectName(QStringLiteral("cmdNav_%1").arg(i));
        vb::SetTag(cmdNav[i], QString::fromLatin1(tags[i]));
        cmdNav[i]->setEnabled(i == 1);
        nav->addWidget(cmdNav[i]);
    }
    layout->addLayout(nav);
    connect(cmdNav[1], &QPushButton::clicked, this, &QWidget::close);

    if (goTexter)
        goTexter->SetTextOfForm(this);
}

void ShowFirstForm()
{
    g_form = new frmStart;
    QObject::connect(g_form.data(), &QObject::destroyed, [] { vb::EndProgram(0); });
    g_form->show();
}

QWidget* FirstForm()
{
    return g_form.data();
}
