#pragma once
// The product's feedback mail account, as the outside programs Pellact and the
// feedback program get it on their command lines.
#include <QString>

// The account's user address (an endpoint of the product).
QString FeedbackAccountUser();

// The account's password.
QString FeedbackAccountPassword();
