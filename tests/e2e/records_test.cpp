// The module's records as a host reads them, the element routines, and service dispatch.
#include <dlfcn.h>

#include "e2e/module_fixture.h"

using RecordsTest = ModuleTest;

TEST_F(RecordsTest, LinkageAndImportTableHoldTheHostsValues) {
    const LinkageRecord* linkage = host_->linkage();
    EXPECT_EQ(linkage->module_kind, 0x13u);
    EXPECT_EQ(linkage->interface_version, 0x900u);
    EXPECT_EQ(linkage->reserved_12, 0u);
    EXPECT_EQ(linkage->reserved_16, 0u);
    ASSERT_NE(linkage->module_init, nullptr);
    ASSERT_NE(linkage->module_deinit, nullptr);
    linkage->module_init();  // they take nothing and do nothing
    linkage->module_deinit();
    ASSERT_NE(linkage->gauges[0], nullptr);
    EXPECT_EQ(linkage->gauges[1], nullptr);

    const ImportTableRecord* imports = host_->import_table();
    EXPECT_EQ(imports->panels.table_id, 0x0Fu);
    EXPECT_EQ(imports->panels.table, &host_->panel_table());  // written by the host at load
    EXPECT_EQ(imports->end.table_id, 0u);
    EXPECT_EQ(imports->end.table, nullptr);
}

TEST_F(RecordsTest, GaugeHeaderAndElementDescribeOneStillImage) {
    const GaugeHeader* header = host_->linkage()->gauges[0];
    EXPECT_EQ(header->format_version, 0x320u);
    EXPECT_STREQ(header->gauge_name, "jvb_cuebox2");
    EXPECT_EQ(header->default_size_mm, 20u);
    EXPECT_EQ(header->reserved_40, 0u);
    EXPECT_EQ(header->reserved_88, 0u);
    for (uint32_t field : header->reserved_48) EXPECT_EQ(field, 0u);
    for (uint32_t field : header->reserved_96) EXPECT_EQ(field, 0u);
    EXPECT_EQ(header->parameters, nullptr);
    EXPECT_NE(header->gauge_callback, nullptr);

    ASSERT_NE(header->element_list[0], nullptr);
    EXPECT_EQ(header->element_list[1], nullptr);
    const GaugeElement* element = header->element_list[0];
    EXPECT_EQ(element->element_kind, 0u);
    EXPECT_EQ(element->image_id, 256u);
    EXPECT_EQ(element->header, header);
    EXPECT_EQ(element->reserved_36, nullptr);
    EXPECT_EQ(element->next_elements, nullptr);
    EXPECT_EQ(element->image_flags, 0x83u);
    for (uint32_t field : element->reserved_8) EXPECT_EQ(field, 0u);
    for (uint32_t field : element->reserved_52) EXPECT_EQ(field, 0u);
}

TEST_F(RecordsTest, ElementRoutinesHandTheModulesElementToHostPositions) {
    GaugeHeader* header = host_->linkage()->gauges[0];
    GaugeElement* element = header->element_list[0];
    // A callback with some other header first: the routines must not take their element from it.
    host_->add_gauge("");
    host_->service(simulator_service::PRE_INITIALIZE);

    EXPECT_EQ(header->routine_1(), 0x1000u + 24);
    EXPECT_EQ(header->routine_2(77), 0x1000u + 25);
    EXPECT_EQ(header->routine_3(), 0x1000u + 26);
    EXPECT_EQ(header->routine_4(), 0x1000u + 27);
    EXPECT_EQ(header->routine_5(0xDEADBEEF), 0x1000u + 28);
    EXPECT_EQ(header->routine_6(), 0x1000u + 29);
    EXPECT_EQ(header->routine_7(), 0x1000u + 31);

    const std::vector<ElementCall>& calls = host_->element_calls();
    ASSERT_EQ(calls.size(), 7u);
    const int positions[] = {24, 25, 26, 27, 28, 29, 31};
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].position, positions[i]);
        EXPECT_EQ(calls[i].element, element);
    }
    EXPECT_EQ(calls[1].value, 77u);
    EXPECT_EQ(calls[4].value, 0xDEADBEEFu);
}

TEST_F(RecordsTest, ServiceCodesOtherThanUpdateConnectAndDisconnectDoNothing) {
    default_slot_tone(7);
    host_->add_gauge("");
    const long codes[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 16, 17, 100, 0x7FFFFFFF,
                          -1, -6, -14, -15, static_cast<long>(INT32_MIN)};
    for (long code : codes) host_->service(static_cast<uint32_t>(code));
    EXPECT_FALSE(host_->has_variable("jvb_cuebox_id"));
    EXPECT_EQ(standin_call_count("DirectSoundCreate"), 0);
    EXPECT_EQ(standin_call_count("GetPrivateProfileStringA"), 0);
    EXPECT_TRUE(trace_->events().empty());
    // The module still works afterwards.
    host_->connect();
    update(2);
    command(7);
    EXPECT_EQ(count("play"), 1u);
}

TEST_F(RecordsTest, DisconnectBeforeAnyUpdateReleasesTheDeviceAndNothingElse) {
    host_->add_gauge("");
    host_->connect();
    EXPECT_EQ(standin_live_devices(), 1);
    host_->disconnect();
    EXPECT_EQ(standin_live_devices(), 0);
    EXPECT_EQ(count("release"), 0u);
    host_->disconnect();  // a second disconnect frees nothing twice
    EXPECT_EQ(standin_live_devices(), 0);
}

TEST_F(RecordsTest, AnAllocationFailureAtLoadMakesTheLoadFail) {
    // The module takes its four tables at load; whichever of them cannot be had, it refuses.
    for (long nth = 1; nth <= 4; ++nth) {
        const std::string copy = root_ + "/refusing" + std::to_string(nth) + ".gau";
        std::filesystem::copy_file(CUEBOX_MODULE_FILE, copy);
        PanelHost other;
        std::string error;
        standin_fail_allocation(nth);
        EXPECT_FALSE(other.load(copy, error)) << nth;
        standin_fail_allocation(0);
        EXPECT_NE(error.find("refused to load"), std::string::npos) << error;
    }
}

TEST_F(RecordsTest, TheHostHoldsOneModuleAtATimeAndLeavesItNoTable) {
    const std::string first = root_ + "/first.gau", second = root_ + "/second.gau";
    std::filesystem::copy_file(CUEBOX_MODULE_FILE, first);
    std::filesystem::copy_file(CUEBOX_MODULE_FILE, second);
    PanelHost other;
    std::string error = "left over from an earlier call";
    ASSERT_TRUE(other.load(first, error)) << error;
    // Disconnected as a simulator does before it lets a module go, so its tables go back.
    other.add_gauge("");
    other.disconnect();
    // Held here as well, so the library outlives the host's hold on it.
    void* kept = dlopen(first.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(kept, nullptr);
    ImportTableRecord* imports = other.import_table();
    ASSERT_TRUE(other.load(second, error)) << error;
    EXPECT_EQ(imports->panels.table, nullptr) << "the first module keeps no table of the host";
    dlclose(kept);
    EXPECT_EQ(dlopen(first.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr)
        << "the first module was given back";
    other.add_gauge("");
    other.disconnect();
    other.unload();
    EXPECT_EQ(dlopen(second.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}
