#pragma once
// The inspector's built-in presets: drop-down lists for component references, colours, cursors, font
// names and modal results; dialogs for fonts, string lists, pictures, collections, list items, tree nodes
// and file names; masked editing of dates and times; and two font rules. The unit registers them at
// start-up in this order, so every inspector starts with one of each; its finalisation unregisters them.
//
// Type names such as TColor, TDate or TFilename are the property's type alias, declared with
// Q_CLASSINFO("type:Prop", "TColor") next to the Q_PROPERTY.
#include "inspector/RSPropertyPresets.h"
#include "inspector/RSTDateEditor.h"
#include <QPointer>
#include <typeindex>
#include <vector>

class TRSFont;

// Every built-in preset class, in registration order.
QList<const QMetaObject*> BuiltInPresetClasses();
// The same classes by their C++ type.
std::vector<std::type_index> BuiltInPresetTypes();
// Makes sure the unit's start-up registration has run (the inspector refers to it, so that the unit is
// always part of a program that has an inspector).
void EnsureBuiltInPresetsRegistered();

class TRSTComponentPropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "128")
    Q_CLASSINFO("default:EditStyle", "esPickList")
    Q_CLASSINFO("default:Actions", "1664")

public:
    Q_INVOKABLE explicit TRSTComponentPropertyPreset(TCollection* collection = nullptr);

private:
    void GetPickList(QObject* sender, const QString& propName, QStringList& values);
    void SetProperty(QObject* sender, QObject* instance, const QString& propName, const QString& value);
};

class TRSTParentComponentPropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "64")
    Q_CLASSINFO("default:ParentTypeKinds", "128")
    Q_CLASSINFO("default:Actions", "1024")

public:
    Q_INVOKABLE explicit TRSTParentComponentPropertyPreset(TCollection* collection = nullptr);
};

class TRSTFontNamePropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "3104")
    Q_CLASSINFO("default:EditStyle", "esPickList")
    Q_CLASSINFO("default:Actions", "128")

public:
    Q_INVOKABLE explicit TRSTFontNamePropertyPreset(TCollection* collection = nullptr);

private:
    void GetPickList(QObject* sender, const QString& propName, QStringList& values);
};

class TRSTColorPropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "2")
    Q_CLASSINFO("default:EditStyle", "esPickList")
    Q_CLASSINFO("default:Actions", "640")

public:
    Q_INVOKABLE explicit TRSTColorPropertyPreset(TCollection* collection = nullptr);

private:
    void GetText(QObject* sender, QObject* instance, const QString& propName, QString& value);
    void GetPickList(QObject* sender, const QString& propName, QStringList& values);
    void SetProperty(QObject* sender, QObject* instance, const QString& propName, const QString& value);
};

class TRSTCursorPropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "2")
    Q_CLASSINFO("default:EditStyle", "esPickList")
    Q_CLASSINFO("default:Actions", "640")

public:
    Q_INVOKABLE explicit TRSTCursorPropertyPreset(TCollection* collection = nullptr);

private:
    void GetText(QObject* sender, QObject* instance, const QString& propName, QString& value);
    void GetPickList(QObject* sender, const QString& propName, QStringList& values);
    void SetProperty(QObject* sender, QObject* instance, const QString& propName, const QString& value);
};

class TRSTFontDlgPropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "128")
    Q_CLASSINFO("default:EditStyle", "esEllipsis")
    Q_CLASSINFO("default:Actions", "128")

public:
    Q_INVOKABLE explicit TRSTFontDlgPropertyPreset(TCollection* collection = nullptr);

private:
    void EditButtonClick(QObject* sender);
};

class TRSTStringsPropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_PROPERTY(TStringsViews StringsViews READ StringsViews WRITE SetStringsViews)
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "128")
    Q_CLASSINFO("default:EditStyle", "esEllipsis")
    Q_CLASSINFO("default:Actions", "192")
    Q_CLASSINFO("default:StringsViews", "svNormal")

public:
    enum TStringsView { svNormal = 1, svINI = 2 };
    Q_DECLARE_FLAGS(TStringsViews, TStringsView)
    Q_FLAG(TStringsViews)

    Q_INVOKABLE explicit TRSTStringsPropertyPreset(TCollection* collection = nullptr);

    TStringsViews StringsViews() const { return m_stringsViews; }
    void SetStringsViews(TStringsViews value);
    void Apply(TRSItemProperty* row) override;
    void Assign(const TRSPropertyPreset& source) override;
    // The hint of a string list: up to four lines and "..." when there are more.
    static QString HintOf(const QStringList& lines);

private:
    void EditButtonClick(QObject* sender);
    TStringsViews m_stringsViews = svNormal;
};

class TRSTPicturePropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "128")
    Q_CLASSINFO("default:EditStyle", "esEllipsis")
    Q_CLASSINFO("default:Actions", "128")

public:
    Q_INVOKABLE explicit TRSTPicturePropertyPreset(TCollection* collection = nullptr);

private:
    void EditButtonClick(QObject* sender);
};

class TRSTCollectionPropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "128")
    Q_CLASSINFO("default:EditStyle", "esEllipsis")
    Q_CLASSINFO("default:Actions", "128")

public:
    Q_INVOKABLE explicit TRSTCollectionPropertyPreset(TCollection* collection = nullptr);

private:
    void EditButtonClick(QObject* sender);
};

// The date pop-up shared by the date and date-time presets (no meta-object of its own, so the registry
// does not list it).
class TRSDatePopupPreset : public TRSPropertyPreset {
public:
    explicit TRSDatePopupPreset(TCollection* collection);
    ~TRSDatePopupPreset() override;
    // The date pop-up, made on first use with the inspector as owner.
    TfrmDateEditor* DateEditor() const { return m_dateEditor; }

protected:
    virtual TfrmDateEditor* CreateDateEditor();
    // The pop-up opens on the row's stored value; on OK the row takes the chosen value's text and is
    // validated and committed.
    void EditButtonClick(QObject* sender);
    // Where the pop-up opens.
    virtual QPoint PopupPosition(const QSize& size) const;
    // The value to store for a chosen date, given the stored one.
    virtual double ChosenValue(double chosenDate, double stored) const = 0;
    virtual QString ValueText(double value) const = 0;
    virtual double TextValue(const QString& text) const = 0;
    void GetText(QObject* sender, QObject* instance, const QString& propName, QString& value);
    void SetProperty(QObject* sender, QObject* instance, const QString& propName, const QString& value);

private:
    QPointer<TfrmDateEditor> m_dateEditor;
};

class TRSTDatePropertyPreset : public TRSDatePopupPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "16")
    Q_CLASSINFO("default:EditStyle", "esEllipsis")
    Q_CLASSINFO("default:Actions", "896")

public:
    Q_INVOKABLE explicit TRSTDatePropertyPreset(TCollection* collection = nullptr);

protected:
    double ChosenValue(double chosenDate, double) const override { return chosenDate; }
    QString ValueText(double value) const override;
    double TextValue(const QString& text) const override;
};

class TRSTTimePropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "16")
    Q_CLASSINFO("default:Actions", "768")

public:
    Q_INVOKABLE explicit TRSTTimePropertyPreset(TCollection* collection = nullptr);

private:
    void GetText(QObject* sender, QObject* instance, const QString& propName, QString& value);
    void SetProperty(QObject* sender, QObject* instance, const QString& propName, const QString& value);
};

class TRSTDateTimePropertyPreset : public TRSDatePopupPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "16")
    Q_CLASSINFO("default:EditStyle", "esEllipsis")
    Q_CLASSINFO("default:Actions", "896")

public:
    Q_INVOKABLE explicit TRSTDateTimePropertyPreset(TCollection* collection = nullptr);

protected:
    QPoint PopupPosition(const QSize& size) const override;
    double ChosenValue(double chosenDate, double stored) const override;
    QString ValueText(double value) const override;
    double TextValue(const QString& text) const override;
};

class TRSTFilenamePropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_PROPERTY(QString DefaultExt READ DefaultExt WRITE SetDefaultExt)
    Q_PROPERTY(QString Filter READ Filter WRITE SetFilter)
    Q_PROPERTY(qint32 FilterIndex READ FilterIndex WRITE SetFilterIndex)
    Q_PROPERTY(QString InitialDir READ InitialDir WRITE SetInitialDir)
    Q_PROPERTY(TOpenOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(TOpenOptionsEx OptionsEx READ OptionsEx WRITE SetOptionsEx)
    Q_PROPERTY(QString Title READ Title WRITE SetTitle)
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "1056")
    Q_CLASSINFO("default:EditStyle", "esEllipsis")
    Q_CLASSINFO("default:Actions", "128")
    Q_CLASSINFO("default:FilterIndex", "1")
    Q_CLASSINFO("default:Options", "ofHideReadOnly,ofEnableSizing")
    Q_CLASSINFO("default:OptionsEx", "")

public:
    enum TOpenOption {
        ofReadOnly = 1 << 0,
        ofOverwritePrompt = 1 << 1,
        ofHideReadOnly = 1 << 2,
        ofNoChangeDir = 1 << 3,
        ofShowHelp = 1 << 4,
        ofNoValidate = 1 << 5,
        ofAllowMultiSelect = 1 << 6,
        ofExtensionDifferent = 1 << 7,
        ofPathMustExist = 1 << 8,
        ofFileMustExist = 1 << 9,
        ofCreatePrompt = 1 << 10,
        ofShareAware = 1 << 11,
        ofNoReadOnlyReturn = 1 << 12,
        ofNoTestFileCreate = 1 << 13,
        ofNoNetworkButton = 1 << 14,
        ofNoLongNames = 1 << 15,
        ofOldStyleDialog = 1 << 16,
        ofNoDereferenceLinks = 1 << 17,
        ofEnableIncludeNotify = 1 << 18,
        ofEnableSizing = 1 << 19,
        ofDontAddToRecent = 1 << 20,
        ofForceShowHidden = 1 << 21,
    };
    Q_DECLARE_FLAGS(TOpenOptions, TOpenOption)
    Q_FLAG(TOpenOptions)
    enum TOpenOptionEx { ofExNoPlacesBar = 1 << 0 };
    Q_DECLARE_FLAGS(TOpenOptionsEx, TOpenOptionEx)
    Q_FLAG(TOpenOptionsEx)

    Q_INVOKABLE explicit TRSTFilenamePropertyPreset(TCollection* collection = nullptr);

    QString DefaultExt() const { return m_defaultExt; }
    void SetDefaultExt(const QString& value) { m_defaultExt = value; }
    QString Filter() const { return m_filter; }
    void SetFilter(const QString& value) { m_filter = value; }
    qint32 FilterIndex() const { return m_filterIndex; }
    void SetFilterIndex(qint32 value) { m_filterIndex = value; }
    QString InitialDir() const { return m_initialDir; }
    // Drops one trailing path delimiter, unless it follows a drive colon or is the root itself.
    void SetInitialDir(const QString& value);
    TOpenOptions Options() const { return m_options; }
    void SetOptions(TOpenOptions value) { m_options = value; }
    TOpenOptionsEx OptionsEx() const { return m_optionsEx; }
    void SetOptionsEx(TOpenOptionsEx value) { m_optionsEx = value; }
    QString Title() const { return m_title; }
    void SetTitle(const QString& value) { m_title = value; }
    void Assign(const TRSPropertyPreset& source) override;

private:
    void EditButtonClick(QObject* sender);
    QString m_defaultExt;
    QString m_filter;
    qint32 m_filterIndex = 1;
    QString m_initialDir;
    TOpenOptions m_options = TOpenOptions(ofHideReadOnly | ofEnableSizing);
    TOpenOptionsEx m_optionsEx;
    QString m_title;
};

class TRSTModalResultPropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "2")
    Q_CLASSINFO("default:EditStyle", "esPickList")
    Q_CLASSINFO("default:Actions", "640")

public:
    Q_INVOKABLE explicit TRSTModalResultPropertyPreset(TCollection* collection = nullptr);

private:
    void GetText(QObject* sender, QObject* instance, const QString& propName, QString& value);
    void SetProperty(QObject* sender, QObject* instance, const QString& propName, const QString& value);
};

class TRSTINIStringsPropertyPreset : public TRSTStringsPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "13")
    Q_CLASSINFO("default:StringsViews", "svINI")

public:
    Q_INVOKABLE explicit TRSTINIStringsPropertyPreset(TCollection* collection = nullptr);
};

class TRSTListItemsDlgPropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "128")
    Q_CLASSINFO("default:EditStyle", "esEllipsis")
    Q_CLASSINFO("default:Actions", "128")

public:
    Q_INVOKABLE explicit TRSTListItemsDlgPropertyPreset(TCollection* collection = nullptr);

private:
    void EditButtonClick(QObject* sender);
};

class TRSTTreeNodesDlgPropertyPreset : public TRSPropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "4")
    Q_CLASSINFO("default:TypeKinds", "128")
    Q_CLASSINFO("default:EditStyle", "esEllipsis")
    Q_CLASSINFO("default:Actions", "128")

public:
    Q_INVOKABLE explicit TRSTTreeNodesDlgPropertyPreset(TCollection* collection = nullptr);

private:
    void EditButtonClick(QObject* sender);
};

class TRSFilenamePropPropertyPreset : public TRSTFilenamePropertyPreset {
    Q_OBJECT
    Q_CLASSINFO("default:MatchTypes", "5")

public:
    Q_INVOKABLE explicit TRSFilenamePropPropertyPreset(TCollection* collection = nullptr);
};
