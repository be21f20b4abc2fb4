#pragma once
// The stages of the window's check, in order. A reply to a fetched URL is
// read according to the stage it arrives in.
//   Start                  "ver" is asked; a newer version moves on, any other
//                          answer ends the check in this stage
//   ReleaseNotesExpected   "info" is asked; the reply to the URL it names is
//                          shown as the release notes
//   InstallerLinkExpected  "link" is asked for the installer's URL
//   DigestExpected         "exinfo" is asked; the reply to the URL it names is
//                          the server's SHA-1 (the stage stays until the
//                          window closes)
enum class UpdateCheckStage : int {
    Start = 0,
    ReleaseNotesExpected = 1,
    InstallerLinkExpected = 2,
    DigestExpected = 3,
};
