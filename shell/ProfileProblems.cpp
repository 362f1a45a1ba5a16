#include "ProfileProblems.h"

#include "CaptureTexts.h"
#include "UiServices.h"

void ShowProfileProblems(const ProfileLoadResult& profile, const std::string& consequence) {
    if (!profile.loaded) {
        UiServices().Message(QStringLiteral("Agent Profile"),
                             ToQt(profile.error + "\n\n" + consequence), MessageIcon::Warning,
                             BeepKind::Exclamation);
    } else if (!profile.warning.empty()) {
        UiServices().Message(QStringLiteral("Agent Profile"), ToQt(profile.warning),
                             MessageIcon::Warning, BeepKind::Exclamation);
    }
}
