#pragma once
// The product's feedback mail account, as the outside programs Pellact and the
// feedback program get it on their command lines.
#include <QString>

// The account's user address: the "feedback" mailbox at the domain of the
// address feedback mails go to (both belong to the product's mail domain).
QString FeedbackAccountUser();

// The account's password.
QString FeedbackAccountPassword();
