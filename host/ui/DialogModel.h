// A modal dialog as a model: a widget tree with a controller (initialise, validate, apply) and
// an observer (reacts to the widgets while the dialog is open). The dialog driver runs it.
#pragma once

#include "ui/WidgetModel.h"

#include <memory>
#include <string>

class CDialogController;
class CDialogObserver;

enum : WidgetID { kOKButtonWidgetID = 1, kCancelButtonWidgetID = 2 };

class DialogModel {
public:
    // name: how scripts address the dialog ("package", "deadline"); title: shown to people.
    DialogModel(const std::string& name, const PMString& title);
    ~DialogModel();
    DialogModel(const DialogModel&) = delete;
    DialogModel& operator=(const DialogModel&) = delete;

    const std::string& GetName() const { return fName; }
    const PMString& GetTitle() const { return fTitle; }
    void SetTitle(const PMString& title) { fTitle = title; }
    // The top of the widget tree; it holds the OK and Cancel buttons.
    WidgetModel& Root() { return fRoot; }
    WidgetModel* FindWidget(WidgetID id) { return fRoot.FindWidget(id); }

    // The controller and observer live as long as the dialog.
    void SetController(std::unique_ptr<CDialogController> controller);
    void SetObserver(std::unique_ptr<CDialogObserver> observer);
    CDialogController* GetController() const { return fController.get(); }
    CDialogObserver* GetObserver() const { return fObserver.get(); }

    // The string and boolean data launchers and controllers exchange through the dialog.
    const PMString& GetStringData() const { return fStringData; }
    void SetStringData(const PMString& s) { fStringData = s; }
    bool16 GetBoolData() const { return fBoolData; }
    void SetBoolData(bool16 b) { fBoolData = b ? kTrue : kFalse; }

    // An observer's answer to the OK click: the dialog stays open (its check refused).
    void KeepOpen() { fKeepOpen = true; }
    bool TakeKeepOpen() {
        bool k = fKeepOpen;
        fKeepOpen = false;
        return k;
    }
    // Where the keyboard focus is (a widget ID; 0 none). A failed check moves it there.
    WidgetID GetFocus() const { return fFocus; }
    void SetFocus(WidgetID id) { fFocus = id; }

private:
    std::string fName;
    PMString fTitle;
    WidgetModel fRoot;
    std::unique_ptr<CDialogController> fController;
    std::unique_ptr<CDialogObserver> fObserver;
    PMString fStringData;
    bool16 fBoolData = kFalse;
    bool fKeepOpen = false;
    WidgetID fFocus = 0;
};
