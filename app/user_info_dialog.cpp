#include "app/user_info_dialog.h"

#include "lang/resource_ids.h"

CUserInfoDialog::CUserInfoDialog()
    : CDialog(IDD_USER_INFO), company(""), third(""), name(""), mode(0), removePersonalData(false)
{
}

CUserInfoDialog::~CUserInfoDialog() = default;

const MessageMapEntry* CUserInfoDialog::GetMessageMap() const
{
    static const MessageMapEntry map[] = {
        OnMessage(WM_CLOSE, &CUserInfoDialog::OnClose),
        OnButtonClicked(IDC_EXTENDED_COLLECTION, &CUserInfoDialog::OnExtendedCollection),
        {0, 0, 0, nullptr},
    };
    return map;
}

void CUserInfoDialog::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, IDC_USER_COMPANY, company);
    DDX_Text(dx, IDC_USER_THIRD, third);
    DDX_Text(dx, IDC_USER_NAME, name);
    DDX_Check(dx, IDC_REMOVE_PERSONAL_DATA, removePersonalData);
}

BOOL CUserInfoDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetFocus(GetDlgItem(IDC_USER_COMPANY));
    return FALSE;
}

void CUserInfoDialog::OnOK()
{
    mode = 0;
    CDialog::OnOK();
}

void CUserInfoDialog::OnExtendedCollection()
{
    mode = 1;
    CDialog::OnOK();
}

void CUserInfoDialog::OnClose() { Default(); }
