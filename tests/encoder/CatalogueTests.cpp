// The codec, format and language lists on real combo boxes of a real window, the codec
// catalogue from the runtime stand-in, the languages from the platform's language service,
// and the default settings.
#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "encoder/Catalogue.h"
#include "tests/encoder/EncoderFixture.h"
#include "win/UniqueAny.h"

using ::testing::ElementsAre;

namespace ombrel::test {
namespace {

struct Item {
    std::wstring text;
    DWORD data;
};

// A page with the three combo boxes, created as child windows with their control ids.
class CataloguePage : public ::testing::Test {
protected:
    void SetUp() override {
        page_.reset(::CreateWindowExW(0, L"STATIC", L"page", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                      ::GetModuleHandleW(nullptr), nullptr));
        ASSERT_TRUE(page_);
        for (int id : {kCodecListId, kFormatListId, kLanguageListId}) {
            HWND list = ::CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | CBS_DROPDOWNLIST | WS_VSCROLL, 0, 0, 300, 200,
                                          page_.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                          ::GetModuleHandleW(nullptr), nullptr);
            ASSERT_NE(nullptr, list);
        }
    }
    HWND List(int id) { return ::GetDlgItem(page_.get(), id); }
    std::vector<Item> Items(int id) {
        std::vector<Item> items;
        LRESULT count = ::SendMessageW(List(id), CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            WCHAR text[512] = {};
            ::SendMessageW(List(id), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            items.push_back({text, static_cast<DWORD>(::SendMessageW(List(id), CB_GETITEMDATA, i, 0))});
        }
        return items;
    }
    LRESULT Selection(int id) { return ::SendMessageW(List(id), CB_GETCURSEL, 0, 0); }

    win::ComApartment com_;
    fake::ScopedRuntime runtime_;
    win::UniqueWindow page_;
};

std::vector<std::wstring> Texts(const std::vector<Item>& items) {
    std::vector<std::wstring> texts;
    for (const Item& item : items) texts.push_back(item.text);
    return texts;
}

std::vector<DWORD> Data(const std::vector<Item>& items) {
    std::vector<DWORD> data;
    for (const Item& item : items) data.push_back(item.data);
    return data;
}

TEST(FormatItemData, PacksVbrPassesAndIndex) {
    EXPECT_EQ(0x80010003u, PackFormatItemData(TRUE, 1, 3));   // VBR, one pass, format 3
    EXPECT_EQ(0x00010003u, PackFormatItemData(FALSE, 1, 3));  // CBR, one pass, format 3
    EXPECT_EQ(0x00020000u, PackFormatItemData(FALSE, 2, 0));  // two passes
    EXPECT_EQ(0x7FFFFFFFu, PackFormatItemData(FALSE, 0xFFFFFFFF, 0x2345FFFF));  // fields cut to their bits
}

TEST_F(CataloguePage, TheCodecListKeepsTheTwoPrefixesAndSelectsTheSavedCodec) {
    EXPECT_EQ(1, FillCodecList(page_.get(), 3));
    std::vector<Item> items = Items(kCodecListId);
    // "Windows Media Audio Voice 9" begins with neither prefix and is left out.
    EXPECT_THAT(Texts(items), ElementsAre(L"Windows Media Audio 9.2", L"Windows Media Audio 9.2 Lossless",
                                          L"Windows Media Audio 10 Professional"));
    EXPECT_THAT(Data(items), ElementsAre(1u, 2u, 3u));
    EXPECT_EQ(2, Selection(kCodecListId));
    EXPECT_EQ(0, runtime_->LiveObjects());
}

TEST_F(CataloguePage, ASavedCodecNoLongerOfferedSelectsTheFirst) {
    EXPECT_EQ(1, FillCodecList(page_.get(), 0));  // codec 0 is not offered
    EXPECT_EQ(0, Selection(kCodecListId));
}

TEST_F(CataloguePage, AnOverlongCodecNameIsSkippedAndAFailingNameEndsTheFill) {
    runtime_->codecs[2].name = L"Windows Media Audio 9" + std::wstring(120, L'x');  // 141 characters
    EXPECT_EQ(1, FillCodecList(page_.get(), 1));
    EXPECT_THAT(Data(Items(kCodecListId)), ElementsAre(1u, 3u));
    ::SendMessageW(List(kCodecListId), CB_RESETCONTENT, 0, 0);
    runtime_->FailOn("CodecInfo.GetCodecName", kRuntimeFailure, 5);  // the length of codec 2
    EXPECT_EQ(1, FillCodecList(page_.get(), 1));
    EXPECT_THAT(Data(Items(kCodecListId)), ElementsAre(1u));
    EXPECT_EQ(-1, Selection(kCodecListId));  // ended at once, without a selection
}

TEST_F(CataloguePage, ListsFailWithoutTheControlOrTheCatalogue) {
    HWND bare = ::CreateWindowExW(0, L"STATIC", L"bare", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(0, FillCodecList(bare, 0));
    EXPECT_EQ(0, FillFormatList(bare, FALSE, 1, 0, 1));
    EXPECT_EQ(0, FillLanguageList(bare, 0x409));
    ::DestroyWindow(bare);
    runtime_->FailOn("WMCreateProfileManager", kRuntimeFailure);
    EXPECT_EQ(0, FillCodecList(page_.get(), 0));
    EXPECT_EQ(0, FillFormatList(page_.get(), FALSE, 1, 0, 1));
    EXPECT_EQ(0u, Items(kCodecListId).size());
    runtime_->FailOn("WMCreateProfileManager", S_OK);
    runtime_->FailOn("CodecInfo.GetCodecInfoCount", kRuntimeFailure);
    EXPECT_EQ(1, FillCodecList(page_.get(), 0));  // the list stays untouched
    EXPECT_EQ(0u, Items(kCodecListId).size());
}

TEST_F(CataloguePage, TheFormatListShowsCbrThenVbrAndSelectsTheSavedPackedValue) {
    ::SendMessageW(List(kFormatListId), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"stale"));
    EXPECT_EQ(1, FillFormatList(page_.get(), TRUE, 1, 1, 1));
    std::vector<Item> items = Items(kFormatListId);
    EXPECT_THAT(Texts(items), ElementsAre(L"64 kbps, 44 kHz, stereo CBR", L"128 kbps, 44 kHz, stereo CBR",
                                          L"VBR Quality 50, 44 kHz, stereo", L"VBR Quality 90, 44 kHz, stereo"));
    EXPECT_THAT(Data(items), ElementsAre(0x00010000u, 0x00010001u, 0x80010000u, 0x80010001u));
    EXPECT_EQ(3, Selection(kFormatListId));
    // After a restart the flag and passes are the defaults: the index is looked up in the CBR half.
    EXPECT_EQ(1, FillFormatList(page_.get(), FALSE, 1, 1, 1));
    EXPECT_EQ(1, Selection(kFormatListId));
    // A saved format not in the list selects the first.
    EXPECT_EQ(1, FillFormatList(page_.get(), FALSE, 1, 7, 1));
    EXPECT_EQ(0, Selection(kFormatListId));
    EXPECT_EQ(0, runtime_->LiveObjects());
}

// Such a codec answers "_VBRENABLED" with 0xC00D0BCD; its CBR formats are still listed, as
// the profile build accepts them.
TEST_F(CataloguePage, ACodecWithoutTheVbrSettingListsItsCbrHalfOnly) {
    EXPECT_EQ(1, FillFormatList(page_.get(), FALSE, 0, 0, 1));
    EXPECT_THAT(Data(Items(kFormatListId)), ElementsAre(0x00010000u));
}

TEST_F(CataloguePage, ALongFormatDescriptionIsReadIntoAHeapBuffer) {
    runtime_->codecs[1].cbrFormats[0].description = std::wstring(300, L'd');
    EXPECT_EQ(1, FillFormatList(page_.get(), FALSE, 1, 0, 1));
    EXPECT_EQ(300u, Items(kFormatListId).at(0).text.size());
    EXPECT_EQ(1u, runtime_->CallsStartingWith("CodecInfo.GetCodecFormatDesc(Audio, 1, 0, null, 302)").size());
}

TEST_F(CataloguePage, AFailingDescriptionEndsThatHalfOnly) {
    runtime_->FailOn("CodecInfo.GetCodecFormatDesc", kRuntimeFailure, 3);  // the length of CBR format 1
    EXPECT_EQ(1, FillFormatList(page_.get(), FALSE, 1, 0, 1));
    EXPECT_THAT(Data(Items(kFormatListId)), ElementsAre(0x00010000u, 0x80010000u, 0x80010001u));
}

TEST_F(CataloguePage, TheLanguageListHoldsEachPlatformLcidOnceWithNameAndTag) {
    EXPECT_EQ(1, FillLanguageList(page_.get(), 0x411));
    std::vector<Item> items = Items(kLanguageListId);
    ASSERT_GT(items.size(), 10u);
    std::set<DWORD> seen;
    for (const Item& item : items) EXPECT_TRUE(seen.insert(item.data).second) << "LCID twice: " << std::hex << item.data;
    LRESULT selected = Selection(kLanguageListId);
    ASSERT_GE(selected, 0);
    EXPECT_EQ(0x411u, items[selected].data);
    // The text is "%s [%s]": the service's own name and tag for that LCID.
    win::ComPtr<IMultiLanguage> language;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_CMultiLanguage, nullptr, CLSCTX_ALL, IID_IMultiLanguage,
                                       language.put_void()));
    RFC1766INFO info{};
    ASSERT_EQ(S_OK, language->GetRfc1766Info(0x411, &info));
    EXPECT_EQ(std::wstring(info.wszLocaleName) + L" [" + info.wszRfc1766 + L"]", items[selected].text);
    // Filling again appends nothing new: every LCID is already there.
    EXPECT_EQ(1, FillLanguageList(page_.get(), 0x409));
    EXPECT_EQ(items.size(), Items(kLanguageListId).size());
}

TEST_F(CataloguePage, TheServiceReallyListsSomeLcidTwice) {
    // Wine's language service returns duplicates: what makes the check above matter.
    win::ComPtr<IMultiLanguage> language;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_CMultiLanguage, nullptr, CLSCTX_ALL, IID_IMultiLanguage,
                                       language.put_void()));
    win::ComPtr<IEnumRfc1766> entries;
    ASSERT_EQ(S_OK, language->EnumRfc1766(entries.put()));
    std::set<LCID> seen;
    int duplicates = 0;
    RFC1766INFO info{};
    ULONG fetched = 0;
    while (entries->Next(1, &info, &fetched) == S_OK && fetched == 1)
        if (!seen.insert(info.lcid).second) ++duplicates;
    EXPECT_GT(duplicates, 0);
    EXPECT_EQ(1, FillLanguageList(page_.get(), 0));
    EXPECT_EQ(seen.size(), Items(kLanguageListId).size());
    EXPECT_EQ(-1, Selection(kLanguageListId));  // an LCID not listed selects nothing
}

// Counts the messages a combo box receives, by subclassing it for the life of the counter.
class MessageCounter {
public:
    explicit MessageCounter(HWND window) : window_(window) {
        ::SetPropW(window_, kProp, this);
        previous_ = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure)));
    }
    ~MessageCounter() {
        ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        ::RemovePropW(window_, kProp);
    }
    MessageCounter(const MessageCounter&) = delete;
    MessageCounter& operator=(const MessageCounter&) = delete;
    int count = 0;

private:
    static constexpr const WCHAR* kProp = L"MessageCounter";
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        auto* self = static_cast<MessageCounter*>(::GetPropW(window, kProp));
        ++self->count;
        return ::CallWindowProcW(self->previous_, window, message, w, l);
    }
    HWND window_;
    WNDPROC previous_ = nullptr;
};

TEST_F(CataloguePage, TheLanguageFillKeepsItemsAlreadyThereAndTakesFewMessages) {
    // An item added before the fill keeps its place and its LCID is not listed again.
    LRESULT first = ::SendMessageW(List(kLanguageListId), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"mine"));
    ::SendMessageW(List(kLanguageListId), CB_SETITEMDATA, first, 0x411);
    size_t listed = 0;
    {
        MessageCounter counter(List(kLanguageListId));
        EXPECT_EQ(1, FillLanguageList(page_.get(), 0x411));
        listed = Items(kLanguageListId).size() - 1;
        // Every message passes the player's hooks: a handful per item, not one per pair of items.
        EXPECT_LT(counter.count, static_cast<int>(4 * listed + 16)) << listed << " languages";
    }
    std::vector<Item> items = Items(kLanguageListId);
    EXPECT_EQ(L"mine", items.at(0).text);
    int japanese = 0;
    for (const Item& item : items) japanese += item.data == 0x411;
    EXPECT_EQ(1, japanese);
    EXPECT_EQ(-1, Selection(kLanguageListId));  // only an item this fill adds is selected
    EXPECT_GT(listed, 10u);
}

TEST_F(CataloguePage, FindCodecIndexComparesWholeNamesExactly) {
    DWORD index = kPoison;
    EXPECT_EQ(S_OK, FindCodecIndex(WMMEDIATYPE_Audio, L"Windows Media Audio 9.2 Lossless", &index));
    EXPECT_EQ(2u, index);
    EXPECT_EQ(S_OK, FindCodecIndex(WMMEDIATYPE_Video, L"Windows Media Video 9", &index));
    EXPECT_EQ(1u, index);  // the second video codec
    EXPECT_EQ(E_FAIL, FindCodecIndex(WMMEDIATYPE_Audio, L"windows media audio 9.2", &index));
    EXPECT_EQ(0xFFFFFFFFu, index);
    EXPECT_EQ(E_FAIL, FindCodecIndex(WMMEDIATYPE_Audio, L"Windows Media Audio 9", &index));  // a prefix only
    runtime_->FailOn("CodecInfo.GetCodecName", kRuntimeFailure);
    EXPECT_EQ(kRuntimeFailure, FindCodecIndex(WMMEDIATYPE_Audio, L"Windows Media Audio 9.2", &index));
    EXPECT_EQ(0xFFFFFFFFu, index);
    EXPECT_EQ(0, runtime_->LiveObjects());
}

TEST_F(CataloguePage, ComplexityIsTheLiveOrOfflineProperty) {
    DWORD complexity = kPoison;
    EXPECT_EQ(S_OK, GetCodecComplexity(WMMEDIATYPE_Video, 1, TRUE, &complexity));
    EXPECT_EQ(2u, complexity);
    EXPECT_EQ(S_OK, GetCodecComplexity(WMMEDIATYPE_Video, 1, FALSE, &complexity));
    EXPECT_EQ(4u, complexity);
    EXPECT_THAT(runtime_->CallsStartingWith("CodecInfo.GetCodecProp"),
                ElementsAre("CodecInfo.GetCodecProp(Video, 1, _COMPLEXITYEXLIVE, 4)",
                            "CodecInfo.GetCodecProp(Video, 1, _COMPLEXITYEXOFFLINE, 4)"));
    complexity = kPoison;
    runtime_->FailOn("CodecInfo.GetCodecProp", kRuntimeFailure);
    EXPECT_EQ(kRuntimeFailure, GetCodecComplexity(WMMEDIATYPE_Video, 1, TRUE, &complexity));
    EXPECT_EQ(kPoison, complexity);
}

TEST_F(CataloguePage, TheDefaultAudioCodecIsTheFirstPreferredNameFound) {
    DWORD codec = kPoison;
    DWORD format = kPoison;
    EXPECT_EQ(S_OK, FindDefaultAudioCodec(&codec, &format));
    EXPECT_EQ(1u, codec);  // "Windows Media Audio 9.2" comes before the lossless and 10 Professional names
    EXPECT_EQ(0u, format);
    runtime_->codecs.erase(runtime_->codecs.begin() + 1);
    EXPECT_EQ(S_OK, FindDefaultAudioCodec(&codec, &format));
    EXPECT_EQ(2u, codec);  // now "Windows Media Audio 10 Professional", before "9.2 Lossless"
    runtime_->codecs.resize(1);  // the voice codec only
    codec = format = kPoison;
    EXPECT_EQ(E_FAIL, FindDefaultAudioCodec(&codec, &format));
    EXPECT_EQ(kPoison, codec);
    EXPECT_EQ(kPoison, format);
}

TEST_F(CataloguePage, DefaultSettingsHoldEveryDocumentedValue) {
    EncoderSettings settings;
    std::memset(&settings, 0xCC, sizeof(settings));
    InputFormat format = AudioFormat();
    ASSERT_EQ(S_OK, FillDefaultEncoderSettings(&format, &settings));
    const LCID lcid = ::GetSystemDefaultLCID();
    EXPECT_EQ(1u, settings.video.codecIndex);
    EXPECT_EQ(0u, settings.video.mode);
    EXPECT_EQ(400000u, settings.video.bitrate);
    EXPECT_EQ(5000u, settings.video.bufferWindow);
    EXPECT_EQ(0, settings.video.width);
    EXPECT_EQ(0.0, settings.video.framesPerSecond);
    EXPECT_EQ(0u, settings.video.reserved2[0]);
    EXPECT_EQ(1u, settings.video.reserved2[1]);
    EXPECT_EQ(1u, settings.video.reserved2[2]);
    EXPECT_EQ(60u, settings.video.quality);
    EXPECT_EQ(8000u, settings.video.maxKeyFrameSpacing);
    EXPECT_EQ(1u, settings.video.decoderProfile);
    EXPECT_EQ(0u, settings.video.decoderLevel);
    EXPECT_EQ(2u, settings.video.complexity);
    EXPECT_EQ(900000u, settings.video.peakBitrate);
    EXPECT_EQ(5000u, settings.video.peakBufferWindow);
    EXPECT_EQ(lcid, settings.video.language);
    EXPECT_EQ(0u, settings.video.reserved3);
    EXPECT_EQ(5000u, settings.audio.bufferWindow);
    EXPECT_EQ(1u, settings.audio.codecIndex);
    EXPECT_EQ(0u, settings.audio.formatIndex);
    EXPECT_EQ(FALSE, settings.audio.vbrEnabled);
    EXPECT_EQ(1u, settings.audio.passes);
    EXPECT_EQ(lcid, settings.audio.language);
    EXPECT_EQ(10000u, settings.script.bitrate);
    EXPECT_EQ(5000u, settings.script.bufferWindow);
    EXPECT_EQ(lcid, settings.script.language);
    EXPECT_EQ(0u, settings.timing.reserved[0]);
    EXPECT_EQ(1u, settings.timing.reserved[1]);
    EXPECT_EQ(1u, settings.timing.reserved[2]);
    EXPECT_EQ(0u, settings.timing.frameRateShift);
    EXPECT_EQ(FALSE, settings.timing.useFrameDuration);
    EXPECT_EQ(333667u, settings.timing.frameDuration);
    EXPECT_EQ(0u, settings.timing.reserved2);
    EXPECT_EQ(0, runtime_->LiveObjects());
}

TEST_F(CataloguePage, DefaultSettingsTakeTheVideoSizeAndRate) {
    EncoderSettings settings{};
    InputFormat format = AudioFormat();
    format.videoEnabled = TRUE;
    format.videoWidth = 640;
    format.videoHeight = 480;
    format.frameRateNumerator = 30000;
    format.frameRateDenominator = 1001;
    ASSERT_EQ(S_OK, FillDefaultEncoderSettings(&format, &settings));
    EXPECT_EQ(640, settings.video.width);
    EXPECT_EQ(480, settings.video.height);
    EXPECT_DOUBLE_EQ(30000.0 / 1001.0, settings.video.framesPerSecond);
    format.frameRateDenominator = 0;  // no division by zero
    ASSERT_EQ(S_OK, FillDefaultEncoderSettings(&format, &settings));
    EXPECT_EQ(0.0, settings.video.framesPerSecond);
}

TEST_F(CataloguePage, MissingCodecsLeaveTheRecordZeroOrOnlyTheVideoPartFilled) {
    EXPECT_EQ(E_INVALIDARG, FillDefaultEncoderSettings(nullptr, nullptr));
    EncoderSettings settings;
    std::memset(&settings, 0xCC, sizeof(settings));
    std::vector<fake::FakeCodec> all = runtime_->codecs;
    runtime_->codecs = {all[0], all[1]};  // no "Windows Media Video 9"
    EXPECT_EQ(E_FAIL, FillDefaultEncoderSettings(nullptr, &settings));
    EncoderSettings zero{};
    EXPECT_EQ(0, std::memcmp(&zero, &settings, sizeof(settings)));
    runtime_->codecs = {all[0], all[5]};  // video but none of the seven audio names
    EXPECT_EQ(E_FAIL, FillDefaultEncoderSettings(nullptr, &settings));
    EXPECT_EQ(400000u, settings.video.bitrate);
    EXPECT_EQ(0u, settings.audio.bufferWindow);
    EXPECT_EQ(0u, settings.script.bitrate);
    EXPECT_EQ(0u, settings.timing.frameDuration);
    runtime_->codecs = all;
    runtime_->FailOn("CodecInfo.GetCodecProp", kRuntimeFailure);  // complexity then 0
    EXPECT_EQ(S_OK, FillDefaultEncoderSettings(nullptr, &settings));
    EXPECT_EQ(0u, settings.video.complexity);
}

// The runtime this program loads as the player would, from beside it (here the stand-in):
// the defaults come from its catalogue.
TEST(CatalogueOnThePlatform, DefaultsComeFromTheRuntimeTheProgramLoads) {
    win::ComApartment com;
    EncoderSettings settings;
    std::memset(&settings, 0xCC, sizeof(settings));
    HRESULT hr = FillDefaultEncoderSettings(nullptr, &settings);
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    DWORD video = kPoison;
    ASSERT_EQ(S_OK, FindCodecIndex(WMMEDIATYPE_Video, L"Windows Media Video 9", &video));
    EXPECT_EQ(video, settings.video.codecIndex);
    EXPECT_EQ(0u, settings.audio.formatIndex);
    EXPECT_EQ(5000u, settings.audio.bufferWindow);
    EXPECT_EQ(10000u, settings.script.bitrate);
    EXPECT_EQ(5000u, settings.script.bufferWindow);
}

}  // namespace
}  // namespace ombrel::test
