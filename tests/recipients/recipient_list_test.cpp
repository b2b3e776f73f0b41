#include "recipients/recipient_list.h"

#include <gtest/gtest.h>

#include "support/fake_ports.h"
#include "support/test_files.h"

#include "recipients/add_recipients.h"

namespace mirebolt::recipients {
namespace {

using testing::FixtureCertificate;

std::vector<std::string> IssuedTo(const RecipientList& list) {
    std::vector<std::string> names;
    for (int row = 0; row < list.RecipientCount(); ++row) {
        names.push_back(list.Row(row)->issuedTo);
    }
    return names;
}

TEST(RecipientList, KeepsTheOrderOfAdditionAndRefusesTheSameCertificate) {
    RecipientList list(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(list.AddRecipient(FixtureCertificate("bob.pem")));
    EXPECT_TRUE(list.AddRecipient(FixtureCertificate("alice.pem")));
    EXPECT_FALSE(list.AddRecipient(FixtureCertificate("bob.der"))) << "same issuer and serial";
    EXPECT_TRUE(list.AddRecipient(FixtureCertificate("carol.pem")));
    EXPECT_EQ(IssuedTo(list),
              (std::vector<std::string>{"Bob Baker", "Alice Archer", "Carol Cooper"}));

    const RecipientRow* bob = list.Row(0);
    EXPECT_EQ(bob->issuedBy, "Mirebolt Test CA");
    EXPECT_FALSE(bob->expires.empty());

    list.RemoveRecipient(1);
    EXPECT_EQ(IssuedTo(list), (std::vector<std::string>{"Bob Baker", "Carol Cooper"}));
    EXPECT_TRUE(list.AddRecipient(FixtureCertificate("alice.pem")))
        << "removed, so it may come back";
    EXPECT_EQ(IssuedTo(list).back(), "Alice Archer");
    EXPECT_EQ(list.RecipientCertificate(3), nullptr);
    EXPECT_EQ(list.RecipientCertificate(-1), nullptr);
}

TEST(RecipientList, RowsOwnTheirReferencesAndGiveThemBack) {
    RecipientList list;
    {
        platform::Certificate alice = FixtureCertificate("alice.pem");
        ASSERT_TRUE(list.AddRecipient(alice));
    }  // the caller's reference is gone; the row's stays
    EXPECT_EQ(platform::SubjectDisplayName(*list.RecipientCertificate(0)), "Alice Archer");
    list.ReleaseRecipients();
    EXPECT_EQ(list.RecipientCount(), 0);
    // The test program's NSS shutdown check fails if any reference was kept.
}

TEST(RecipientList, ExpiryIsTheUtcDateInTheLocalesShortFormat) {
    platform::Certificate dave = FixtureCertificate("dave.pem");  // 2021-01-01 00:00:00 UTC
    EXPECT_EQ(ExpiryText(dave, QLocale(QLocale::English, QLocale::UnitedStates)), "1/1/21");
    EXPECT_EQ(ExpiryText(dave, QLocale(QLocale::German, QLocale::Germany)), "01.01.21");
    EXPECT_EQ(ExpiryText(dave, QLocale(QLocale::English, QLocale::UnitedKingdom)), "01/01/2021");
    EXPECT_EQ(ExpiryText(platform::Certificate(), QLocale::c()), "");
}

TEST(RecipientList, ExpiryShowsTheUtcDayWhereverTheUserIs) {
    // 23:30 UTC on 31 December is already 1 January in Kiribati.
    const char* saved = std::getenv("TZ");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("TZ", "Pacific/Kiritimati", 1);
    ::tzset();
    const std::string text = ExpiryText(FixtureCertificate("gina.pem"),
                                        QLocale(QLocale::English, QLocale::UnitedStates));
    saved != nullptr ? ::setenv("TZ", previous.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
    EXPECT_EQ(text, "12/31/30");
}

TEST(AddRecipients, AFileAddsWhatIsNewAndWarnsOncePerDuplicate) {
    RecipientList list;
    ASSERT_TRUE(list.AddRecipient(FixtureCertificate("bob.pem")));
    testing::FakeBusy busy;
    testing::RecordingFeedback feedback(&busy);
    AddOutcome outcome =
        AddRecipientsFromFile(list, testing::FixturePath("three.p7b"), feedback, busy);
    EXPECT_EQ(outcome.added, 2);
    EXPECT_EQ(outcome.refused, 1);
    EXPECT_EQ(IssuedTo(list),
              (std::vector<std::string>{"Bob Baker", "Alice Archer", "Carol Cooper"}));
    ASSERT_EQ(feedback.shown.size(), 1u);
    EXPECT_EQ(feedback.shown[0].text, "The certificate is already present on the list");
    EXPECT_TRUE(feedback.shown[0].whileBusy);
    EXPECT_EQ(busy.starts, 1);
    EXPECT_EQ(busy.ends, 1);
}

TEST(AddRecipients, AFileWithoutCertificatesSaysSoAndAnEmptyBundleSaysNothing) {
    RecipientList list;
    testing::FakeBusy busy;
    testing::RecordingFeedback feedback(&busy);
    EXPECT_TRUE(
        AddRecipientsFromFile(list, testing::FixturePath("random.der"), feedback, busy).failed);
    ASSERT_EQ(feedback.shown.size(), 1u);
    EXPECT_EQ(feedback.shown[0].text, "No certificate could be found on the selected file");

    AddOutcome empty =
        AddRecipientsFromFile(list, testing::FixturePath("empty.p7b"), feedback, busy);
    EXPECT_FALSE(empty.failed);
    EXPECT_EQ(empty.added, 0);
    EXPECT_EQ(feedback.shown.size(), 1u);
    EXPECT_EQ(list.RecipientCount(), 0);
}

TEST(AddRecipients, AFileBeyondTheLimitAddsTheFirstThousandAndSaysHowManyWereLeft) {
    RecipientList list;
    testing::FakeBusy busy;
    testing::RecordingFeedback feedback(&busy);
    AddOutcome outcome =
        AddRecipientsFromFile(list, testing::FixturePath("many.pem"), feedback, busy);
    EXPECT_EQ(outcome.added, 1000);
    ASSERT_EQ(feedback.shown.size(), 1u);
    EXPECT_NE(feedback.shown[0].text.find("9000 more were skipped"), std::string::npos);
    EXPECT_TRUE(feedback.shown[0].whileBusy);
}

class FirstOwnCertificate : public CertificatePicker {
  public:
    std::optional<platform::Certificate> Pick(const platform::PersonalStore& store,
                                              const std::string& displayString) override {
        shownText = displayString;
        auto listed = store.PickerCertificates();
        if (listed.empty()) {
            return std::nullopt;
        }
        return std::move(listed.front().certificate);
    }
    std::string shownText;
};

TEST(AddRecipients, TheStorePickAddsOneAndOutlivesTheStore) {
    RecipientList list;
    testing::FakeBusy busy;
    testing::RecordingFeedback feedback(&busy);
    FirstOwnCertificate picker;
    testing::StoreFolder alices("store-alice");
    EXPECT_EQ(AddRecipientFromStore(list, alices.directory(), picker, feedback, busy).added, 1);
    EXPECT_EQ(picker.shownText,
              "Select a certificate to add to the recipients list for encryption");
    EXPECT_EQ(IssuedTo(list), std::vector<std::string>{"Alice Archer"});
    EXPECT_EQ(platform::PublicKeyKind(*list.RecipientCertificate(0)), platform::KeyKind::Rsa)
        << "the row's certificate is usable after the store closed";

    EXPECT_EQ(AddRecipientFromStore(list, alices.directory(), picker, feedback, busy).refused, 1);
    ASSERT_EQ(feedback.shown.size(), 1u);
    EXPECT_EQ(feedback.shown[0].text, "The certificate is already present on the list");

    testing::StoreFolder broken("store-broken");
    EXPECT_TRUE(AddRecipientFromStore(list, broken.directory(), picker, feedback, busy).failed);
    EXPECT_EQ(feedback.shown.back().text, "Failed to open the system certificate store");
    EXPECT_EQ(feedback.shown.back().kind, testing::Shown::Kind::Warning);
    EXPECT_FALSE(feedback.shown.back().whileBusy);
}

}  // namespace
}  // namespace mirebolt::recipients
