#pragma once

#include "prefs/Translator.h"

#include <QHash>
#include <QPointer>
#include <QString>

class QMenu;
class QObject;
class QWidget;

// A Qt window as the translation engine sees it: its name is its objectName
// (its name in language files, "T_Main"), its controls the named objects below it (other
// dialogs excluded). "Caption" is the text a control shows (button, label,
// action, group box and menu titles, a page's title), "Hint" its tool tip,
// "Text" the content of an edit or combo box; any other name is a string
// property of the object.
class WidgetTranslatableWindow : public TranslatableWindow {
public:
    explicit WidgetTranslatableWindow(QWidget& window);

    std::string WindowName() const override;
    std::vector<std::string> ControlNames() const override;
    std::optional<std::string> Text(const std::string& control,
                                    const std::string& property) const override;
    void SetText(const std::string& control, const std::string& property,
                 const std::string& value) override;

private:
    QObject* Find(const std::string& control) const;

    QWidget& window_;
    std::vector<std::string> names_;
    QHash<QString, QPointer<QObject>> controls_;
};

// Translates a window as it is created (and the preferences window each time
// it is shown).
void ApplyLanguage(Translator& language, QWidget& window);
// Translates a window into `stem` at once, the stored choice unchanged.
void PreviewLanguage(const Translator& language, QWidget& window, const std::string& stem);

// A control whose content is the user's data (a server name, a password):
// translations neither set nor record its "Text".
void MarkAsUserData(QWidget* control);

// Fills the "Language" menu of the main window: "Default (English)" and a
// separator first (made when missing), then one checkable entry a language.
// A click on an entry chooses that language and translates `mainWindow`.
// `language` must outlive the menu.
void BuildLanguageMenu(QMenu& menu, Translator& language, QWidget& mainWindow);
