// nso edit as a clerk meets it: a field, a line or a value it does not take, a value the master
// data does not have, or an order not processed yet is refused naming what would do and changes
// nothing; a corrected number that the order could not give loses its message at once.

#include <gtest/gtest.h>

#include <string>

#include "generated_folder.h"

namespace {

class NsoEditTest : public kvad::test::GeneratedFolderTest {};

TEST_F(NsoEditTest, CodesTheMasterDataDoesNotHaveAreRefusedNamingTheNearest) {
    MakeFolder("nso-edit");
    Ok("init --demo");
    Ok("fetch");
    Ok("process 5");
    // A field, a value or a line the order does not have, or words that are not FIELD=VALUE.
    Refused("edit 5 colour=red", "unknown field 'colour'; header fields are:");
    Refused("edit 5 customer=abc",
            "customer takes a customer code, a whole number from 1 to 2147483647: 'abc' is not "
            "one");
    Refused("edit 5 customer=7 date=31/02/2024",
            "date takes a date dd/mm/yyyy or yyyy-mm-dd from 01/01/1900 to 31/12/9999: "
            "'31/02/2024' is not one");
    Refused("edit 5 --line 2 quantity=1.1234567",
            "quantity takes a number with at most 13 digits before the decimal point and 6");
    Refused("edit 5 section=ABCDEFGHIJK", "section takes at most 10 characters");
    Refused("edit 5 vat=22", "'vat' is a line field: give the line with --line N");
    Refused("edit 5 --line 7 vat=22", "has no line 7: its lines are 1 to 2");
    Refused("edit 5 customer", "'customer' is not FIELD=VALUE");
    // What testers saw taken: codes no master data has.
    Refused("edit 5 --line 1 item=NOPE-ITEM", "no item NOPE-ITEM: the nearest are ");
    Refused("edit 5 currency=XXX", "no currency XXX: the nearest are 001 (EUR, Euro), ");
    Refused("edit 5 customer=5555", "no customer 5555: the nearest are 1001 (Azienda Ospedaliera");
    Refused("edit 5 customer=-5", "customer takes a customer code, a whole number from 1 to "
                                  "2147483647: '-5' is not one (nothing was changed)");
    Refused("edit 5 customer=0", "'0' is not one");
    Refused("edit 5 customer-type=5", "customer-type takes 0 (customer) or 1 (supplier): '5' is "
                                      "not one");
    // A near miss names the code meant first; an ISO code finds its currency.
    Refused("edit 5 --line 1 item=AFP-DM-5512",
            "no item AFP-DM-5512: the nearest are AFP-DM-55120 (GUANTI IN NITRILE");
    Refused("edit 5 currency=EUR", "no currency EUR: the nearest are 001 (EUR, Euro)");
    // Destinations are the customer's, options the item's, also when only the other changes.
    Refused("edit 5 destination=NOPE", "customer 1003 has no destination NOPE: the nearest of "
                                       "its destinations is MAG3 (Magazzino distrettuale");
    Refused("edit 5 customer=1002", "destination MAG3 is not one of customer 1002's (the nearest "
                                    "of its destinations are BIBL (Biblioteca comunale), ");
    Refused("edit 5 customer-type=1", "no supplier 1003: the company has none");
    Refused("edit 5 --line 2 item=AFP-DM-57200 option=XL",
            "item AFP-DM-57200 has no option XL: the nearest of its options are L (Camice");
    Refused("edit 5 --line 2 option=S", "item AFP-DM-56031 has no option S: it has no options");
    Refused("edit 5 --line 2 vat=Q", "no VAT code Q: the nearest are ");
    // Every refused value is named, and none of the others is written.
    Refused("edit 5 customer=1001 document=OCX currency=XXX",
            "3 values were refused, nothing was changed:\n  no document code OCX: the nearest "
            "are OCL (Ordine cliente da NSO) and OCM (Ordine cliente manuale)\n  no currency "
            "XXX: the nearest are 001 (EUR, Euro), 002 (USD, Dollaro statunitense) and 003 (GBP, "
            "Sterlina britannica)\n  destination MAG3 is not one of customer 1001's (the nearest "
            "of its destinations are FARM (Magazzino Farmacia Ospedaliera) and ECON (Magazzino "
            "Economato)): change or clear it with the customer\n");
    // Values outside what their field takes.
    Refused("edit 5 --line 1 line-type=7", "line-type takes 0 (an item line), 1 ");
    Refused("edit 5 date=01/01/1700", "from 01/01/1900 to 31/12/9999: '01/01/1700' is not one");
    Refused("edit 5 --line 1 discount1=120", "discount1 takes a percentage from 0 to 100");
    // A line that is not there, 0 too, is named with the lines there are.
    Refused("edit 5 --line 0 quantity=1",
            "(id 5) has no line 0: its lines are 1 to 2 (nothing was changed)");
    EXPECT_FALSE(Has(Nso("edit 5 --line 0 quantity=1"), "1797693")) << "no 309-digit range";
    // An order fetched but never processed, and one processing leaves alone.
    Ok("fetch", "warnings");
    Refused("edit 7 customer=1002", "(id 7) is not processed yet: `nso process 7`");
    Refused("show 7", "(id 7) is not processed yet");
    EXPECT_TRUE(Has(Ok("process 7"), "Order IC-45/2024 of 14/03/2024 (id 7): to import - "
                                     "WARNING"));
    Refused("process 42", "no document of company 1 has register id or order number \"42\"");

    // What the master data has is taken, spelled as it spells it, and reaches the ERP order.
    ExpectTold(Ok("edit 5 customer=1002 destination=econ"), {"changed: destination MAG3 -> ECON"});
    ExpectTold(Ok("edit 5 --line 2 item=afp-dm-57200 option=m"),
               {"changed line 2: item AFP-DM-56031 -> AFP-DM-57200\nchanged line 2: option (empty) "
                "-> M"});
    Ok("import 5");
    ExpectTold(Ok("orders --lines"), {"1002", "AFP-DM-57200 (M)"});
}

TEST_F(NsoEditTest, ACorrectedUnreadableNumberLosesItsMessageAtOnce) {
    MakeGenerated("nso-edit-number", 1);
    Spoil(1, "<cbc:Quantity unitCode=\"C62\">", "<cbc:Quantity unitCode=\"C62\">abc");
    Spoil(1, "<cbc:Percent>22</cbc:Percent><cac:TaxScheme>",
          "<cbc:Percent>ventidue</cbc:Percent><cac:TaxScheme>");
    Ok("fetch");
    ExpectTold(Ok("process 1"), {"to import - ERROR", "error   107  line 1  quantity = 0",
                                 "error   107  line 1  vat-rate = 0"});

    // The quantity the order's line amount (39.79 = 8 x 5.13 - 1.25) was made of: another one
    // would leave warning 352.
    ExpectTold(Ok("edit 1 --line 1 quantity=8"), {"107  line 1  vat-rate"},
               {"107  line 1  quantity"});
    ExpectTold(Ok("edit 1 --line 1 vat-rate=22"), {"to import - READY", "no messages"});
    ExpectTold(Ok("import 1"), {"1 chain(s): 1 imported, 0 failed"});
}

} // namespace
