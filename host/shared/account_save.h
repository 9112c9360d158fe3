// Saving into a mail account, in a host that has the network (far2l): the
// save dialogs' "Mail account" asks for the account in a dialog of its own,
// and the outputs' IMAP run (outputs/imap_run.h) sends the messages with the
// save's progress, Esc and final box. It keeps the ledger vfolder imap
// keeps, by the same path, so that each resumes what the other began.
#pragma once

// Has the save dialogs offer a mail account (MailAccount, mail_save.h).
void OfferMailAccount();
