#pragma once
// An installer takes the local path of a verified package and installs it;
// exactly one of Success and Failure ends each installation, unless the
// installation ends the program.

#include <QObject>
#include <QString>

#include <string>

namespace tessal {
namespace qt {

class Installer : public QObject
{
    Q_OBJECT

public:
    explicit Installer(QObject* parent = nullptr) : QObject(parent) {}
    ~Installer() override = default;

    virtual void Install(std::string file) = 0;

signals:
    void Success();
    void Failure(QString error);
};

} // namespace qt
} // namespace tessal
