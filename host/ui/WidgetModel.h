// One widget as a model: what it shows and whether it may be used, and nothing of how it is
// drawn. Panels and dialogs are trees of these; a face renders them and turns a person's
// input into the same setters the plug-in uses, so observers cannot tell the two apart.
#pragma once

#include "base/PMString.h"
#include "ui/IWidgetObserver.h"

#include <cstdint>
#include <memory>
#include <vector>

enum class WidgetKind {
    kStaticText,
    kEditBox,
    kCheckBox,
    kDropDown,
    kEditableDropDown,
    kDateEdit,
    kButton,
    kTreeView,
    kColorView,
    kGroup,
};

const char* WidgetKindName(WidgetKind kind);

struct WidgetColor {
    uint8_t red = 255, green = 255, blue = 255;
    bool operator==(const WidgetColor&) const = default;
};

class WidgetModel {
public:
    WidgetModel(WidgetID id, WidgetKind kind, const PMString& label = PMString());
    WidgetModel(const WidgetModel&) = delete;
    WidgetModel& operator=(const WidgetModel&) = delete;

    WidgetID GetID() const { return fID; }
    WidgetKind GetKind() const { return fKind; }
    // What a person sees beside or on the widget (a button's text, a row's label).
    const PMString& GetLabel() const { return fLabel; }
    void SetLabel(const PMString& label) { fLabel = label; }
    // A short name by which scripts and the terminal address the widget.
    const std::string& GetName() const { return fName; }
    void SetName(const std::string& name) { fName = name; }

    const PMString& GetText() const { return fText; }
    // Notifies only when the text changes, as the desktop's text widgets do.
    void SetText(const PMString& text, bool notify = true);
    bool16 IsChecked() const { return fChecked; }
    void SetChecked(bool16 checked, bool notify = true);

    // The string list of drop-downs and tree views, and the selected entry (-1 none).
    const std::vector<PMString>& GetStringList() const { return fList; }
    void SetStringList(const std::vector<PMString>& list);
    int32 GetSelectedIndex() const { return fSelected; }
    // Also sets the text to the entry chosen.
    void Select(int32 index, bool notify = true);
    // The index of the entry equal to text, or -1.
    int32 IndexOf(const PMString& text) const;

    bool16 IsEnabled() const { return fEnabled; }
    void Enable(bool16 enabled = kTrue) { fEnabled = enabled ? kTrue : kFalse; }
    bool16 IsShown() const { return fShown; }
    void Show(bool16 shown = kTrue) { fShown = shown ? kTrue : kFalse; }
    const WidgetColor& GetColor() const { return fColor; }
    void SetColor(const WidgetColor& color) { fColor = color; }

    // A person pressed the button (or the widget's button part).
    void Click();

    // Children are owned by their parent; the pointer stays valid until RemoveChildren.
    WidgetModel* AddChild(std::unique_ptr<WidgetModel> child);
    WidgetModel* AddChild(WidgetID id, WidgetKind kind, const PMString& label = PMString());
    void RemoveChildren();
    // Hands the children over (the widget is left without any): a caller that rebuilds a
    // tree from inside a widget's notification keeps the old widgets alive until it returns.
    std::vector<std::unique_ptr<WidgetModel>> TakeChildren();
    const std::vector<std::unique_ptr<WidgetModel>>& GetChildren() const { return fChildren; }
    // This widget or the first descendant (depth first) with the ID, or null.
    WidgetModel* FindWidget(WidgetID id);
    // By name, or by ID written in decimal or as 0x hex.
    WidgetModel* FindWidget(const std::string& nameOrID);

    // Observers are not owned; an observer detaches before it goes away.
    void AttachObserver(IWidgetObserver* observer);
    void DetachObserver(IWidgetObserver* observer);
    bool IsAttached(IWidgetObserver* observer) const;

private:
    void Notify(IWidgetObserver::Change change);

    WidgetID fID;
    WidgetKind fKind;
    PMString fLabel;
    std::string fName;
    PMString fText;
    bool16 fChecked = kFalse;
    std::vector<PMString> fList;
    int32 fSelected = -1;
    bool16 fEnabled = kTrue;
    bool16 fShown = kTrue;
    WidgetColor fColor;
    std::vector<std::unique_ptr<WidgetModel>> fChildren;
    std::vector<IWidgetObserver*> fObservers;
};
