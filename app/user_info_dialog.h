// The dialog that asks for the user's details before a collection.
#pragma once
#include "app/app_constants.h"
#include "framework/framework.h"

class CUserInfoDialog : public CDialog {
public:
    CUserInfoDialog();
    ~CUserInfoDialog() override;

    const MessageMapEntry* GetMessageMap() const override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnExtendedCollection();
    void OnClose();

    char company[kPathSize];  // edit 1034
    char third[kPathSize];    // edit 1037, shown under label 1067
    char name[kPathSize];     // edit 1035
    LONG mode;                // 1 when the extended button was used
    bool removePersonalData;  // check box 399: a redacted collection
};
