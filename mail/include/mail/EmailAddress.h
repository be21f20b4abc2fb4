#pragma once
// One mail address with an optional display name. The display name appears
// only in the message headers; the SMTP commands carry the address alone.
#include <QObject>
#include <QString>

class EmailAddress : public QObject {
    Q_OBJECT
public:
    explicit EmailAddress(const QString& address = QString(), const QString& name = QString(),
                          QObject* parent = nullptr);

    void setName(const QString& name);
    void setAddress(const QString& address);
    const QString& getName() const;
    const QString& getAddress() const;

private:
    QString name;
    QString address;
};
