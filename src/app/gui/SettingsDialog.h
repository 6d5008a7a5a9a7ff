#pragma once

#include "app/Configuration.h"
#include "app/ConfigurationWriter.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The Settings dialog (Options menu, "Settings..."): every key of the configuration file, checked
// as the user types. Invalid fields are marked and Save stays disabled with the reason shown.
// Save hands the changed keys to the save function (the Station's saveSettings through the main
// window) and closes when it succeeds; a failure is shown and the dialog stays open.
class SettingsDialog : public QDialog
{
    Q_OBJECT
public:
    using SaveFunction = std::function<std::optional<QString>(const ConfigurationValues &)>;

    SettingsDialog(const Configuration &current, SaveFunction save, QWidget *parent = nullptr);

    // The keys whose text differs from the configuration the dialog opened with, in file order.
    ConfigurationValues changedValues() const;
    // Empty when every field is valid, otherwise why Save is disabled.
    QString problem() const { return m_problem; }

private:
    struct Field
    {
        const char *key;
        QLineEdit *edit;
        QString reason; // shown while the text is invalid
        std::function<bool(const QString &)> isValid;
    };

    QLineEdit *addField(const char *key, const QString &text, const QString &reason,
                        std::function<bool(const QString &)> isValid);
    void validate();
    void save();

    Configuration m_current;
    SaveFunction m_save;
    QList<Field> m_fields;
    QCheckBox *m_screenshotBox = nullptr;
    QLabel *m_problemLabel = nullptr;
    QPushButton *m_saveButton = nullptr;
    QString m_problem;
};
