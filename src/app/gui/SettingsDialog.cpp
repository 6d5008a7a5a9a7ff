#include "app/gui/SettingsDialog.h"

#include "app/SettingsValidators.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString InvalidStyle = QStringLiteral("QLineEdit { background: #ffd2d2; }");

bool isWritableDirectory(const QString &text)
{
    const QFileInfo info(text);
    return !text.isEmpty() && info.isDir() && info.isWritable();
}

// IMAGE_PATH is a plain prefix of screenshot file names, so a directory ends with "/".
QString asDirectoryPrefix(const QString &text)
{
    return text.endsWith(u'/') ? text : text + u'/';
}

} // namespace

SettingsDialog::SettingsDialog(const Configuration &current, SaveFunction save, QWidget *parent)
    : QDialog(parent), m_current(current), m_save(std::move(save))
{
    setObjectName(QStringLiteral("settingsDialog"));
    setWindowTitle(QStringLiteral("Settings"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);

    const auto field = [&](const char *key, const char *label, const QString &text,
                           const char *reason, std::function<bool(const QString &)> isValid) {
        QLineEdit *edit = addField(key, text, QString::fromUtf8(reason), std::move(isValid));
        form->addRow(QString::fromUtf8(label), edit);
        return edit;
    };
    field("PORT", "Packet engine (PORT)", current.port,
          "PORT: host:port with a port of 1 to 65535 ([address]:port for IPv6)",
          [](const QString &t) { return isValidPortValue(t); });
    field("SERVER", "Upload URL (SERVER)", current.server,
          "SERVER: an http:// or https:// URL with a host",
          [](const QString &t) { return isValidServerUrl(t); });
    field("MYCALL", "Callsign (MYCALL)", current.mycall,
          "MYCALL: letters and digits with an optional /suffix, at most 12 characters",
          [](const QString &t) { return isValidCallsign(t); });
    field("QTH_LAT", "Latitude (QTH_LAT)", current.qthLat,
          "QTH_LAT: decimal degrees from -90 to 90",
          [](const QString &t) { return isValidLatitude(t); });
    field("QTH_LONG", "Longitude (QTH_LONG)", current.qthLong,
          "QTH_LONG: decimal degrees from -180 to 180",
          [](const QString &t) { return isValidLongitude(t); });

    QLineEdit *imagePath = addField("IMAGE_PATH", current.imageDir,
                                    QStringLiteral("IMAGE_PATH: an existing writable directory"),
                                    isWritableDirectory);
    auto *browse = new QToolButton(this);
    browse->setText(QStringLiteral("..."));
    connect(browse, &QToolButton::clicked, this, [this, imagePath] {
        const QString dir = QFileDialog::getExistingDirectory(this, windowTitle(), imagePath->text());
        if (!dir.isEmpty())
            imagePath->setText(asDirectoryPrefix(dir));
    });
    auto *imageRow = new QHBoxLayout;
    imageRow->addWidget(imagePath);
    imageRow->addWidget(browse);
    form->addRow(QStringLiteral("Screenshot directory (IMAGE_PATH)"), imageRow);

    m_screenshotBox = new QCheckBox(QStringLiteral("show the screenshot button (SCREENSHOT)"), this);
    m_screenshotBox->setObjectName(QStringLiteral("screenshotBox"));
    m_screenshotBox->setChecked(current.screenshotButtonVisible.value_or(true));
    form->addRow(m_screenshotBox);

    auto *note = new QLabel(
        QStringLiteral("A new callsign takes effect for the next capture file; "
                       "the other settings apply at once."),
        this);
    note->setObjectName(QStringLiteral("noteLabel"));
    note->setWordWrap(true);
    layout->addWidget(note);
    m_problemLabel = new QLabel(this);
    m_problemLabel->setObjectName(QStringLiteral("problemLabel"));
    m_problemLabel->setWordWrap(true);
    m_problemLabel->setStyleSheet(QStringLiteral("color: #b00000"));
    layout->addWidget(m_problemLabel);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    m_saveButton = buttons->button(QDialogButtonBox::Save);
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    connect(m_saveButton, &QPushButton::clicked, this, &SettingsDialog::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    validate();
}

QLineEdit *SettingsDialog::addField(const char *key, const QString &text,
                                    const QString &reason,
                                    std::function<bool(const QString &)> isValid)
{
    auto *edit = new QLineEdit(text, this);
    edit->setMinimumWidth(280);
    edit->setObjectName(QString::fromLatin1(key));
    connect(edit, &QLineEdit::textChanged, this, &SettingsDialog::validate);
    m_fields.append({key, edit, reason, std::move(isValid)});
    return edit;
}

void SettingsDialog::validate()
{
    QStringList reasons;
    for (const Field &field : std::as_const(m_fields)) {
        const bool valid = field.isValid(field.edit->text().trimmed());
        if (field.edit->property("invalid").toBool() != !valid) {
            field.edit->setProperty("invalid", !valid);
            field.edit->setStyleSheet(valid ? QString() : InvalidStyle);
            field.edit->setToolTip(valid ? QString() : field.reason);
        }
        if (!valid)
            reasons << field.reason;
    }
    m_problem = reasons.join(u'\n');
    m_problemLabel->setText(m_problem);
    m_saveButton->setEnabled(m_problem.isEmpty());
    m_saveButton->setToolTip(m_problem);
}

ConfigurationValues SettingsDialog::changedValues() const
{
    const auto currentText = [this](QStringView key) -> QString {
        if (key == u"PORT")
            return m_current.port;
        if (key == u"SERVER")
            return m_current.server;
        if (key == u"MYCALL")
            return m_current.mycall;
        if (key == u"QTH_LAT")
            return m_current.qthLat;
        if (key == u"QTH_LONG")
            return m_current.qthLong;
        return m_current.imageDir;
    };
    ConfigurationValues values;
    for (const Field &field : m_fields) {
        const QString key = QString::fromLatin1(field.key);
        QString text = field.edit->text().trimmed();
        if (key == u"IMAGE_PATH")
            text = asDirectoryPrefix(text);
        if (text != currentText(key))
            values.append({key, text});
    }
    const bool visible = m_screenshotBox->isChecked();
    if (visible != m_current.screenshotButtonVisible.value_or(true))
        values.append({QStringLiteral("SCREENSHOT"), visible ? QStringLiteral("YES") : QStringLiteral("NO")});
    return values;
}

void SettingsDialog::save()
{
    validate();
    if (!m_problem.isEmpty())
        return;
    const ConfigurationValues values = changedValues();
    if (!values.isEmpty()) {
        if (const auto error = m_save(values)) {
            m_problemLabel->setText(QStringLiteral("Not saved: ") + *error);
            return;
        }
    }
    accept();
}
