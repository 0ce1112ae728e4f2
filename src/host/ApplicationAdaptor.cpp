#include "host/ApplicationAdaptor.h"

#include "host/Application.h"

ApplicationAdaptor::ApplicationAdaptor(Application* application)
    : QDBusAbstractAdaptor(application), m_application(application)
{
}

QString ApplicationAdaptor::Beskrivning()
{
    return m_application->Beskrivning();
}

QString ApplicationAdaptor::ToolTip()
{
    return m_application->ToolTip();
}

bool ApplicationAdaptor::Anrop(int ID, const QString& Returvarde, QString& ReturvardeOut)
{
    ReturvardeOut = Returvarde;
    return m_application->Anrop(ID, &ReturvardeOut);
}

bool ApplicationAdaptor::Anrop(int ID, QString& ReturvardeOut)
{
    return Anrop(ID, QString(), ReturvardeOut);
}

bool ApplicationAdaptor::Anrop(QString& ReturvardeOut)
{
    return Anrop(0, QString(), ReturvardeOut);
}
