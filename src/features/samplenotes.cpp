#include "samplenotes.h"

#include "document/markdown.h"
#include "storage/note.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"

#include <QDebug>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUuid>

namespace {

// The welcome bodies are written the way the editor saves a note (title text
// bold, every line break its own insert), so opening one and saving it again
// changes nothing.
const char kTripPackingList[] = R"json([
{"insert":"Trip Packing List","attributes":{"bold":true}},{"insert":"\n","attributes":{"header":1}},
{"insert":"A list to reuse for every trip. Tick things off as they go into the bag, and untick them all when you pack for the next one."},{"insert":"\n"},
{"insert":"Essentials","attributes":{"bold":true}},{"insert":"\n"},
{"insert":"Passport or ID card"},{"insert":"\n","attributes":{"list":"checked"}},
{"insert":"Phone charger and a travel adapter"},{"insert":"\n","attributes":{"list":"checked"}},
{"insert":"Tickets and booking confirmations"},{"insert":"\n","attributes":{"list":"unchecked"}},
{"insert":"Travel insurance details"},{"insert":"\n","attributes":{"list":"unchecked"}},
{"insert":"A little local cash"},{"insert":"\n","attributes":{"list":"unchecked"}},
{"insert":"Clothing","attributes":{"bold":true}},{"insert":"\n"},
{"insert":"Comfortable walking shoes"},{"insert":"\n","attributes":{"list":"checked"}},
{"insert":"A warm layer for cool evenings"},{"insert":"\n","attributes":{"list":"unchecked"}},
{"insert":"Rain jacket"},{"insert":"\n","attributes":{"list":"unchecked"}},
{"insert":"One more pair of socks than you think you need"},{"insert":"\n","attributes":{"list":"unchecked"}},
{"insert":"Toiletries","attributes":{"bold":true}},{"insert":"\n"},
{"insert":"Toothbrush and toothpaste"},{"insert":"\n","attributes":{"list":"unchecked"}},
{"insert":"Sunscreen"},{"insert":"\n","attributes":{"list":"unchecked"}},
{"insert":"Any medicine you take, in your hand luggage"},{"insert":"\n","attributes":{"list":"unchecked"}},
{"insert":"Every unchecked item in your notes also shows up in the To-Dos view, so you can see what is still open across all your lists in one place."},{"insert":"\n"}
])json";

const char kGettingStarted[] = R"json([
{"insert":"Getting Started","attributes":{"bold":true}},{"insert":"\n","attributes":{"header":1}},
{"insert":"A two-minute tour of what Lumora Notes can do. Delete this note whenever you like; it will not come back."},{"insert":"\n"},
{"insert":"Just start writing","attributes":{"bold":true}},{"insert":"\n"},
{"insert":"Press Ctrl+N for a new note. Its first line becomes the title, and it saves itself a second after you stop typing, so there is no Save button to forget."},{"insert":"\n"},
{"insert":"Instant search","attributes":{"bold":true}},{"insert":"\n"},
{"insert":"Type in the search box and matching notes appear while you type. Put words in quotes to find an exact phrase, or write OR between two words to find either."},{"insert":"\n"},
{"insert":"Rich text","attributes":{"bold":true}},{"insert":"\n"},
{"insert":"Headings, lists, checklists, code, quotes, tables and links are one click away in the toolbar. Make a word "},
{"insert":"bold","attributes":{"bold":true}},{"insert":" when it matters, or "},{"insert":"italic","attributes":{"italic":true}},
{"insert":" when it needs a softer emphasis."},{"insert":"\n"},
{"insert":"Notebooks","attributes":{"bold":true}},{"insert":"\n"},
{"insert":"Gather related notes into notebooks from the sidebar: work, home, that novel you keep meaning to write. Notes without a notebook are welcome too."},{"insert":"\n"},
{"insert":"Attachments","attributes":{"bold":true}},{"insert":"\n"},
{"insert":"Add images and files to a note. They are kept with your notes, right next to the words they belong to."},{"insert":"\n"},
{"insert":"Works offline","attributes":{"bold":true}},{"insert":"\n"},
{"insert":"Your notes live in a database on this computer. Everything opens in a moment and works without a connection."},{"insert":"\n"},
{"insert":"Sync","attributes":{"bold":true}},{"insert":"\n"},
{"insert":"Sign in to an account to keep your notes in step across your computers. Until you do, nothing leaves this machine."},{"insert":"\n"},
{"insert":"Export","attributes":{"bold":true}},{"insert":"\n"},
{"insert":"Need a note somewhere else? Export it as Markdown, HTML, plain text or PDF with Ctrl+E, or print it."},{"insert":"\n"},
{"insert":{"divider":true}},{"insert":"\n"},
{"insert":"That is the whole tour. The best way to learn the rest is to write something. Happy writing!"},{"insert":"\n"}
])json";

const char kWelcome[] = R"json([
{"insert":"Welcome to Lumora Notes","attributes":{"bold":true}},{"insert":"\n","attributes":{"header":1}},
{"insert":"Lumora Notes is a calm, fast home for your ideas, plans and lists. It opens in a moment, finds any note as you type, and keeps everything on this computer, saved as you go."},{"insert":"\n"},
{"insert":"Try it now:","attributes":{"bold":true}},
{"insert":" change a word in this line, then type the first letters of that word into the search box and watch this note come straight back."},{"insert":"\n"},
{"insert":"Two more notes are waiting for you: Getting Started shows you around, and Trip Packing List is a checklist ready to make your own."},{"insert":"\n"},
{"insert":"When you are ready, press Ctrl+N and write your first note. We are glad you are here."},{"insert":"\n"}
])json";

// Markdown in the small dialect of simpleMarkdownToDelta: "**" is bold and a
// lone "*" italic, so a sample must not use "*" for anything else.
const char kThingsToRemember[] = R"md(## Things to Remember
- Renew the car insurance before the end of the month
- Mia's birthday is on the 14th: she mentioned the blue ceramic teapot
- The spare key is with the neighbours at number 12
- Wi-Fi password for guests is on the back of the router
- Book the dentist for a check-up, it has been a year
Search keywords to try: insurance, birthday, teapot, dentist, router, Atlas, headphones, lemon, convenience.
)md";

const char kWeeklyTeamSync[] = R"md(## Weekly Team Sync - Project Atlas
**Date:** Monday, 10:00 to 10:45
**Attendees:** Priya (product), Tom (engineering), Lena (design), Marco (support)
### Updates
- The new onboarding flow is in beta with 40 customers; completion is up from 61% to 78%
- Search results now load in under 100 ms for the largest accounts
- Support tickets about password resets dropped by a third after the new help page
### Decisions
- Ship the onboarding flow to everyone on the 21st
- Keep the old import screen one more release for customers who rely on it
### Action Items
- [ ] Tom: finish the migration script and test it on a copy of production
- [ ] Lena: final icons for the empty states
- [ ] Marco: update the help centre articles before launch
- [ ] Priya: send the launch note to the sales team
)md";

const char kWeeklyJournal[] = R"md(## Weekly Journal - Friday Check-In
A good week overall, if a busy one. The presentation on Wednesday went better than I feared; slowing down on the second slide made all the difference.
What went well:
- Walked to work three days out of five
- Finally fixed the squeaky hinge on the balcony door
- Long phone call with Grandma on Sunday
What to change next week:
- Stop checking email before breakfast
- Prepare Monday's meeting on Friday afternoon instead of Monday morning
Reading Kazuo Ishiguro in the evenings again. Twenty pages a night is enough.
)md";

const char kClippedArticle[] = R"md(## Clipped Article - New Noise-Canceling Headphones Reviewed
**Source:** The Everyday Tech Review
**Date:** saved from the web last week
The latest over-ear headphones promise a quieter commute, and for the most part they deliver. Noise canceling is strongest on low, steady sounds such as engines and air conditioning, and noticeably weaker on voices.
Highlights from the review:
- Battery life of about 30 hours with noise canceling on
- Comfortable for long flights, though the headband warms up after a few hours
- The companion app is optional; the buttons on the ear cups do everything important
- Calls sound clear indoors but pick up wind outside
The reviewer's verdict: a safe choice for frequent travellers, less so for anyone who mostly listens at home.
)md";

const char kGadgetNotes[] = R"md(## Gadget Notes - Portable E-Ink Tablet
Borrowed one from Sam for a week to see whether it could replace paper notebooks at meetings.
**Pros**
- The screen is easy on the eyes, even in direct sunlight
- Battery lasted the whole week on a single charge
- Handwriting feels close to pencil on paper
**Cons**
- Page turns are slow when a document has many images
- Exporting handwritten notes to the computer takes too many steps
- Expensive for what is mostly a notebook
Verdict: wonderful for reading long documents and sketching ideas, not yet a reason to give up the paper notebook. Check again when the price drops.
)md";

const char kDinnerRecipe[] = R"md(## Dinner Recipe - Sheet Pan Lemon Chicken
**Serves:** 4
**Prep:** 15 minutes | **Cook:** 40 minutes
### Ingredients
- 8 chicken thighs, skin on
- 600 g small potatoes, halved
- 2 lemons, one juiced and one sliced
- 4 cloves of garlic, crushed
- 3 tablespoons olive oil
- Fresh thyme, salt and pepper
### Steps
1. Heat the oven to 220 °C.
2. Toss the potatoes with half the oil, salt and pepper, and spread them on a large tray.
3. Rub the chicken with the rest of the oil, the garlic, the lemon juice and the thyme.
4. Nestle the chicken between the potatoes, skin side up, and lay the lemon slices around it.
5. Roast for 40 minutes, until the skin is golden and the potatoes are crisp.
6. Rest for five minutes and serve with a green salad.
)md";

const char kBookDraft[] = R"md(## Book Draft - Chapter 4: The Cost of Convenience
Every convenience is a small trade. We give up a little attention, a little skill or a little privacy, and in return something becomes easier. Most of these trades are good ones; the trouble is that we rarely notice we are making them.
Consider three ordinary mornings:
- The coffee machine that remembers exactly how you like it
- The map that chooses your route before you have thought about it
- The feed that decides what you read while the kettle boils
None of these is harmful on its own. Together they describe a day in which very little is decided by the person living it.
> We shape our tools, and thereafter our tools shape us.
The rest of this chapter asks a simple question: which of these trades would we still make if we had to make them on purpose?
)md";

QString compactJson(const char *json)
{
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(json));
    return QString::fromUtf8(document.toJson(QJsonDocument::Compact));
}

Note builtInNote(const QString &body, const QDateTime &time)
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = body;
    note.createdAt = time;
    note.updatedAt = time;
    note.modifiedAt = time;
    note.isSample = true;
    return note;
}

} // namespace

const QList<BuiltInNote> &welcomeNotes()
{
    static const QList<BuiltInNote> notes = {
        { QStringLiteral("Trip Packing List"), compactJson(kTripPackingList), 0 },
        { QStringLiteral("Getting Started"), compactJson(kGettingStarted), 100 },
        { QStringLiteral("Welcome to Lumora Notes"), compactJson(kWelcome), 200 },
    };
    return notes;
}

const QList<BuiltInNote> &sampleNotes()
{
    static const QList<BuiltInNote> notes = {
        { QStringLiteral("Things to Remember"), QString::fromUtf8(kThingsToRemember), 0 },
        { QStringLiteral("Weekly Team Sync - Project Atlas"), QString::fromUtf8(kWeeklyTeamSync), 1 },
        { QStringLiteral("Weekly Journal - Friday Check-In"), QString::fromUtf8(kWeeklyJournal), 2 },
        { QStringLiteral("Clipped Article - New Noise-Canceling Headphones Reviewed"), QString::fromUtf8(kClippedArticle), 8 },
        { QStringLiteral("Gadget Notes - Portable E-Ink Tablet"), QString::fromUtf8(kGadgetNotes), 14 },
        { QStringLiteral("Dinner Recipe - Sheet Pan Lemon Chicken"), QString::fromUtf8(kDinnerRecipe), 21 },
        { QStringLiteral("Book Draft - Chapter 4: The Cost of Convenience"), QString::fromUtf8(kBookDraft), 28 },
    };
    return notes;
}

int createWelcomeNotes(NoteRepository *notes, PreferencesRepository *preferences, const QDateTime &now)
{
    static const QString seenKey = QStringLiteral("has_seen_welcome");
    if (!notes || !preferences || preferences->getBool(seenKey, false))
        return 0;
    // A library from a version without welcome notes has no preference yet;
    // its owner has long since found their way around.
    if (notes->countsByNotebook().value(QString()) > 0 || !notes->trashed().isEmpty()) {
        preferences->setBool(seenKey, true);
        return 0;
    }
    int created = 0;
    for (const BuiltInNote &welcome : welcomeNotes()) {
        if (notes->insert(builtInNote(welcome.text, now.addMSecs(welcome.offset))))
            ++created;
    }
    if (created < welcomeNotes().size())
        qWarning().noquote() << "createWelcomeNotes:" << created << "of" << welcomeNotes().size() << "notes written";
    preferences->setBool(seenKey, true);
    return created;
}

int sampleHoursBack(quint64 random)
{
    return int(((random & 0xFFFFFFFFu) * 12) >> 32);
}

int loadSampleNotes(NoteRepository *notes, const QDateTime &now)
{
    if (!notes)
        return 0;
    int inserted = 0;
    for (const BuiltInNote &sample : sampleNotes()) {
        const QString body = QString::fromUtf8(
            QJsonDocument(simpleMarkdownToDelta(sample.text)).toJson(QJsonDocument::Compact));
        const int hours = sampleHoursBack(QRandomGenerator::global()->generate64());
        const QDateTime date = now.toUTC().addDays(-sample.offset).addSecs(-qint64(hours) * 3600);
        if (notes->insert(builtInNote(body, date)))
            ++inserted;
    }
    return inserted;
}
