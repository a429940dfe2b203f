#include "prefs/Translator_widgets.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace {

const char* const UserDataProperty = "corvaneUserData";

enum class Property { Caption, Hint, Text, Other };

Property PropertyKind(const std::string& name) {
    const QString property = QString::fromStdString(name);
    for (const auto& [text, kind] :
         {std::pair{"caption", Property::Caption}, std::pair{"hint", Property::Hint},
          std::pair{"text", Property::Text}}) {
        if (property.compare(QLatin1String(text), Qt::CaseInsensitive) == 0)
            return kind;
    }
    return Property::Other;
}

// The tool tip an action shows when none was set: its text without "&" and "...".
QString DefaultActionTip(QString text) {
    text.remove(QStringLiteral("..."));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'&')
            text.remove(i, 1);
    }
    return text.trimmed();
}

// The object's own string property whose name matches without regard to case.
std::optional<QMetaProperty> StringProperty(const QObject* object, const std::string& name) {
    const QMetaObject* meta = object->metaObject();
    const QString wanted = QString::fromStdString(name);
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (property.metaType().id() == QMetaType::QString && property.isWritable() &&
            wanted.compare(QLatin1String(property.name()), Qt::CaseInsensitive) == 0)
            return property;
    }
    return std::nullopt;
}

// Reads (value null) or sets one text of `object` when it is a T.
template <class T, class Getter, class Setter>
bool Access(QObject* object, Getter get, Setter set, const QString* value,
            std::optional<QString>& out) {
    T* typed = qobject_cast<T*>(object);
    if (!typed)
        return false;
    if (value)
        set(typed, *value);
    else
        out = get(typed);
    return true;
}

// Reads (value null) or sets the caption of `object`; false when it has none.
bool CaptionAccess(QObject* object, const QString* value, std::optional<QString>& out) {
    const auto textOf = [](auto* c) { return c->text(); };
    const auto setText = [](auto* c, const QString& v) { c->setText(v); };
    const auto titleOf = [](auto* c) { return c->title(); };
    const auto setTitle = [](auto* c, const QString& v) { c->setTitle(v); };
    if (Access<QAction>(object, textOf, setText, value, out) ||
        Access<QAbstractButton>(object, textOf, setText, value, out) ||
        Access<QLabel>(object, textOf, setText, value, out) ||
        Access<QGroupBox>(object, titleOf, setTitle, value, out) ||
        Access<QMenu>(object, titleOf, setTitle, value, out))
        return true;
    // A page or panel: its title, which the window shows beside it.
    QWidget* widget = qobject_cast<QWidget*>(object);
    if (!widget || widget->isWindow())
        return false;
    return Access<QWidget>(
        object, [](QWidget* w) { return w->windowTitle(); },
        [](QWidget* w, const QString& v) { w->setWindowTitle(v); }, value, out);
}

bool HintAccess(QObject* object, const QString* value, std::optional<QString>& out) {
    if (Access<QAction>(
            object,
            [](QAction* a) {
                const QString tip = a->toolTip();
                return tip == DefaultActionTip(a->text()) ? QString() : tip;
            },
            [](QAction* a, const QString& v) { a->setToolTip(v); }, value, out))
        return true;
    return Access<QWidget>(
        object, [](QWidget* w) { return w->toolTip(); },
        [](QWidget* w, const QString& v) { w->setToolTip(v); }, value, out);
}

bool ContentAccess(QObject* object, const QString* value, std::optional<QString>& out) {
    if (object->property(UserDataProperty).toBool())
        return false;
    const auto plainOf = [](auto* c) { return c->toPlainText(); };
    const auto setPlain = [](auto* c, const QString& v) { c->setPlainText(v); };
    return Access<QLineEdit>(
               object, [](QLineEdit* e) { return e->text(); },
               [](QLineEdit* e, const QString& v) { e->setText(v); }, value, out) ||
           Access<QComboBox>(
               object, [](QComboBox* c) { return c->currentText(); },
               [](QComboBox* c, const QString& v) { c->setCurrentText(v); }, value, out) ||
           Access<QPlainTextEdit>(object, plainOf, setPlain, value, out) ||
           Access<QTextEdit>(object, plainOf, setPlain, value, out);
}

bool OtherAccess(QObject* object, const std::string& name, const QString* value,
                 std::optional<QString>& out) {
    const std::optional<QMetaProperty> property = StringProperty(object, name);
    if (!property)
        return false;
    if (value)
        property->write(object, *value);
    else
        out = property->read(object).toString();
    return true;
}

// Reads (value null) or sets a named text of `object`.
bool AccessText(QObject* object, const std::string& name, const QString* value,
                std::optional<QString>& out) {
    switch (PropertyKind(name)) {
    case Property::Caption:
        return CaptionAccess(object, value, out);
    case Property::Hint:
        return HintAccess(object, value, out);
    case Property::Text:
        return ContentAccess(object, value, out);
    case Property::Other:
        return OtherAccess(object, name, value, out);
    }
    return false;
}

// The named objects below `parent` in creation order. Other windows (dialogs
// parented to this one) translate themselves; menus belong to the window.
void CollectControls(QObject* parent, std::vector<QObject*>& out) {
    for (QObject* child : parent->children()) {
        const QWidget* widget = qobject_cast<QWidget*>(child);
        if (widget && widget->isWindow() && !qobject_cast<const QMenu*>(widget))
            continue;
        const QString name = child->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
            out.push_back(child);
        CollectControls(child, out);
    }
}

} // namespace

WidgetTranslatableWindow::WidgetTranslatableWindow(QWidget& window) : window_(window) {
    std::vector<QObject*> controls;
    CollectControls(&window_, controls);
    for (QObject* control : controls)
        names_.push_back(control->objectName().toStdString());
    // A name given twice means its first control: insert the last first.
    for (auto it = controls.rbegin(); it != controls.rend(); ++it)
        controls_.insert((*it)->objectName(), *it);
}

std::string WidgetTranslatableWindow::WindowName() const {
    return window_.objectName().toStdString();
}

std::vector<std::string> WidgetTranslatableWindow::ControlNames() const {
    return names_;
}

QObject* WidgetTranslatableWindow::Find(const std::string& control) const {
    return controls_.value(QString::fromStdString(control)).data();
}

std::optional<std::string> WidgetTranslatableWindow::Text(const std::string& control,
                                                          const std::string& property) const {
    QObject* object = Find(control);
    std::optional<QString> text;
    if (!object || !AccessText(object, property, nullptr, text) || !text)
        return std::nullopt;
    return text->replace(u'\n', QStringLiteral("\r\n")).toStdString();
}

void WidgetTranslatableWindow::SetText(const std::string& control, const std::string& property,
                                       const std::string& value) {
    QObject* object = Find(control);
    if (!object)
        return;
    const QString text = QString::fromStdString(value).replace(QStringLiteral("\r\n"), "\n");
    std::optional<QString> unused;
    AccessText(object, property, &text, unused);
}

void ApplyLanguage(Translator& language, QWidget& window) {
    WidgetTranslatableWindow target(window);
    language.ApplyLanguage(target);
}

void PreviewLanguage(const Translator& language, QWidget& window, const std::string& stem) {
    WidgetTranslatableWindow target(window);
    language.PreviewLanguage(target, stem);
}

void MarkAsUserData(QWidget* control) {
    control->setProperty(UserDataProperty, true);
}

void BuildLanguageMenu(QMenu& menu, Translator& language, QWidget& mainWindow) {
    QList<QAction*> actions = menu.actions();
    QAction* english = actions.value(0);
    if (!english) {
        english = menu.addAction(QStringLiteral("Default (English)"));
        english->setObjectName(QStringLiteral("miDefaultLanguage"));
    }
    if (actions.size() < 2 || !actions.at(1)->isSeparator())
        menu.insertSeparator(actions.value(1));
    for (QAction* other : menu.actions().mid(2)) {
        menu.removeAction(other);
        if (other->parent() == &menu)
            delete other; // an entry of an earlier build
    }
    delete menu.findChild<QActionGroup*>(QStringLiteral("LanguageEntries"),
                                         Qt::FindDirectChildrenOnly);
    auto* group = new QActionGroup(&menu);
    group->setObjectName(QStringLiteral("LanguageEntries"));
    english->setCheckable(true);
    english->setChecked(false);
    group->addAction(english);
    menu.setDefaultAction(english);

    WidgetTranslatableWindow target(mainWindow);
    const LanguageMenu entries = language.BuildLanguageMenu(target);
    const auto choose = [&language, &mainWindow, entries](QAction* clicked, int entry) {
        clicked->setChecked(true);
        WidgetTranslatableWindow window(mainWindow);
        language.ChooseLanguage(entries, entry, window);
    };
    for (std::size_t i = 0; i < entries.Names.size(); ++i) {
        // "&" in a name is shown, not taken as a shortcut mark.
        QString caption = QString::fromStdString(entries.Names[i]);
        QAction* entry = menu.addAction(caption.replace(u'&', QStringLiteral("&&")));
        entry->setCheckable(true);
        entry->setData(int(i));
        entry->setChecked(int(i) == entries.Checked);
        group->addAction(entry);
        QObject::connect(entry, &QAction::triggered, &menu,
                         [choose, entry, i] { choose(entry, int(i)); });
    }
    english->setChecked(entries.Checked < 0);
    QObject::disconnect(english, &QAction::triggered, &menu, nullptr);
    QObject::connect(english, &QAction::triggered, &menu,
                     [choose, english] { choose(english, -1); });
}
