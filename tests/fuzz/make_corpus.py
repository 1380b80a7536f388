#!/usr/bin/env python3
"""Writes the corpus the fuzz harnesses start from into tests/fuzz/corpus/<harness>/.

Run it again after changing a harness's input format. Inputs that a fuzzer
found live beside these as regression-* files and are not touched.
"""
import pathlib

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE / "corpus"
DATA = HERE.parent / "data"
DEMO = HERE.parent.parent / "examples" / "workspace" / "PROJECTS" / "Demo"
LOGS = DATA / "logs"


def put(harness, name, data):
    folder = CORPUS / harness
    folder.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    (folder / name).write_bytes(data)


def demo(name):
    return (DEMO / name).read_bytes()


PARGEN = ("<GeneralParameter><BaudRateCAN>5</BaudRateCAN><CANType>{can}</CANType><Baud_Ser>4</Baud_Ser>"
          "<Par_Ser>1</Par_Ser><IDDev_Ser>1</IDDev_Ser><TimeOut_Ser>1000</TimeOut_Ser><TimeOut_Data>10</TimeOut_Data>"
          "<TO_ModReg>300</TO_ModReg><Serial>1</Serial><Cancel_Data>0</Cancel_Data>"
          "<Can_Data_Inp_Reg>1</Can_Data_Inp_Reg></GeneralParameter>")


def integer_text():
    for i, text in enumerate(["0x7FF", "$7ff", "x7FF", "2047", " 12", "12 ", "+5", "-0x10", "0x", "", "1,024",
                              "12.0", "2147483648", "-2147483648", "$FFFFFFFF", "0x000000001", "X123456789"]):
        put("fuzz_integer_text", f"text{i:02}", text)


def comm_parameters():
    put("fuzz_comm_parameters", "demo", demo("pargen.xml"))
    put("fuzz_comm_parameters", "indented",
        '<?xml version="1.0" encoding="UTF-8"?>\n<GeneralParameter>\n  <Serial>0</Serial>\n'
        '  <CANType>2</CANType>\n  <BaudRateCAN>abc</BaudRateCAN>\n</GeneralParameter>\n')
    put("fuzz_comm_parameters", "latin1",
        '<?xml version="1.0" encoding="ISO-8859-1"?><GeneralParameter><IDDev_Ser>\xe9&amp;&#13;</IDDev_Ser>'
        '<TimeOut_Ser><![CDATA[<1000>]]></TimeOut_Ser><!-- c --></GeneralParameter>')
    put("fuzz_comm_parameters", "other_root", "<Other><CANType>1</CANType></Other>")
    put("fuzz_comm_parameters", "broken", "<GeneralParameter><CANType>1</GeneralParameter>")


def frame_table():
    put("fuzz_frame_table", "receive", demo("RCobDef.xml"))
    put("fuzz_frame_table", "transmit", demo("TCobDef.xml"))
    put("fuzz_frame_table", "escapes",
        '<COBID><row CobID=" 0x181" Dimensin="8" RTR="y" Mnemonic="Speed &amp; &lt;&quot;x&quot;&gt;&#9;"/>'
        '<!-- a comment --><row CobID="$7FF" Dimensin="" Mnemonic=""/></COBID>')
    put("fuzz_frame_table", "missing_attribute", '<COBID><row CobID="1" Dimensin="8"/><row CobID="2"/></COBID>')
    put("fuzz_frame_table", "many_rows",
        "<COBID>" + "".join(f'<row CobID="{i}" Dimensin="8" Mnemonic=""/>' for i in range(251)) + "</COBID>")


def frame_mapping():
    put("fuzz_frame_mapping", "demo", demo("RCobDef.xml") + b"\0" + demo("RInfoCob.xml"))
    put("fuzz_frame_mapping", "order",
        '<COBID><row CobID="1"/><row CobID="2"/><row CobID="3"/></COBID>\0'
        '<RInfoCob><row Index="0x10" NrPdo="1" PosComp="18"/><row Index="7" NrPdo="2" PosComp="0"/>'
        '<row Index="7" NrPdo="1" PosComp="abc"/><row Index="$20" NrPdo="4" PosComp="1"/>'
        '<row Index="5" NrPdo="3" PosComp="255"/></RInfoCob>')
    put("fuzz_frame_mapping", "bad_index",
        '<COBID><row CobID="1"/></COBID>\0<RInfoCob><row Index="abc" NrPdo="1" PosComp="0"/></RInfoCob>')
    put("fuzz_frame_mapping", "no_frames", '\0<RInfoCob><row Index="1" NrPdo="0" PosComp="0"/></RInfoCob>')


def bank_builder():
    files = ["pargen.xml", "RCobDef.xml", "TCobDef.xml", "RInfoCob.xml", "TInfoCob.xml"]
    put("fuzz_bank_builder", "demo", b"\0".join(demo(f) for f in files))
    put("fuzz_bank_builder", "can20b",
        "\0".join([PARGEN.format(can=1),
                   '<COBID><row CobID="0x12345" Dimensin="8" Mnemonic=""/><row CobID="x1FFFFFFF" Dimensin="17" '
                   'Mnemonic=""/></COBID>',
                   '<COBID><row CobID="0x1ABCDEF" Dimensin="8" RTR="y" Mnemonic=""/></COBID>',
                   '<RInfoCob><row Index="70000" NrPdo="2" PosComp="300"/></RInfoCob>',
                   '<TInfoCob/>']))
    put("fuzz_bank_builder", "duplicates",
        "\0".join([PARGEN.format(can=0),
                   '<COBID><row CobID="0x181" Dimensin="8"/><row CobID="0x181" Dimensin="2"/>'
                   '<row CobID="2047" Dimensin="1"/></COBID>',
                   "", '<RInfoCob><row Index="1" NrPdo="1" PosComp="18"/></RInfoCob>']))
    put("fuzz_bank_builder", "no_pargen",
        "\0" + '<COBID><row CobID="0" Dimensin="8"/></COBID>\0<COBID/>\0\0'
        '<TInfoCob><row Index="-1" NrPdo="$FF" PosComp="0x88"/></TInfoCob>')
    frames = "".join('<row CobID="1" Dimensin="8"/>' for _ in range(251))
    put("fuzz_bank_builder", "too_many_frames", "\0\0<COBID>" + frames + "</COBID>")


def mapping_csv():
    put("fuzz_mapping_csv", "export",
        b"\x03Index MODBUS;Index CAN Frame;High Byte;Low Byte;\r\n100;2;1;3;\r\n5;1;20;3\r\n0x10;3;0;8;\r\n")
    put("fuzz_mapping_csv", "malformed",
        b"\x03header\n5;1\nabc;1;0;0;\n7;4;1;1;\n  9 ; 1 ; 15 ; 15 ;extra\r-2147483648;0x3;$F;x1\r")
    put("fuzz_mapping_csv", "header_only", b"\x01Index MODBUS;Index CAN Frame;High Byte;Low Byte;")


def srec(kind, address, data):
    width = {"1": 2, "2": 3, "3": 4}[kind]
    body = [len(data) + width + 1] + list(address.to_bytes(width, "big")) + list(data)
    return "S" + kind + "".join(f"{b:02X}" for b in body) + f"{(~sum(body)) & 0xFF:02X}"


def image(records, end="S9030000FC", newline="\r\n"):
    header = "S00F000068656C6C6F202020202000003C"
    return newline.join([header] + records + [end]) + newline


def bank_merge():
    around = [srec("1", 0x0400, bytes(range(16))),
              srec("2", 0x387FE0, bytes(32)),
              srec("2", 0x388000, bytes(range(32))),
              srec("2", 0x388020, bytes(range(32, 64))),
              srec("2", 0x38C000, bytes(16)),
              srec("2", 0x398000, bytes(range(32))),
              srec("2", 0x3A0000, bytes(8))]
    put("fuzz_bank_merge", "both_banks", image(around))
    put("fuzz_bank_merge", "lf_only", image(around, newline="\n"))
    put("fuzz_bank_merge", "cr_only", image(around[:3] + around[5:6], newline="\r"))
    put("fuzz_bank_merge", "bank2_missing", image(around[:4]))
    put("fuzz_bank_merge", "no_s9", image(around, end="S804000000FB"))
    put("fuzz_bank_merge", "s3_and_lowercase",
        image([srec("3", 0x00388000, bytes(4)), "s2240398000" + "00" * 33, around[2], around[5]]))
    put("fuzz_bank_merge", "ctrl_z", image(around) + "\x1aS2 trailing garbage")
    put("fuzz_bank_merge", "select_5", "#SEL\x10" + image([srec("2", 0x3C8000, bytes(32))]))
    put("fuzz_bank_merge", "select_2_only", "#SEL\x02" + image(around))


def full_image(bank1, bank2, extra=()):
    records = list(extra)
    for first, data in ((0x388000, bank1), (0x398000, bank2)):
        for k in range(0, 16384, 32):
            records.append(srec("2", first + k, data[k:k + 32]))
    return image(records)


def bank_image():
    bank1 = bytes((i * 7) & 0xFF for i in range(16384))
    bank2 = bytes((i * 11 + 3) & 0xFF for i in range(16384))
    put("fuzz_bank_image", "whole", full_image(bank1, bank2, [srec("1", 0x100, b"abc")]))
    put("fuzz_bank_image", "part", image([srec("2", 0x388000, bank1[:32]), srec("3", 0x398000, bank2[:64])]))
    put("fuzz_bank_image", "bad_checksum", image([srec("2", 0x388000, bank1[:32])[:-2] + "00"]))
    # Data outside the banks out of order, meeting, and given twice.
    put("fuzz_bank_image", "outside", full_image(bank1, bank2, [srec("2", 0x2000, b"wxyz"), srec("1", 0x1008, b"defg"),
                                                                 srec("2", 0x1000, b"abcdefgh"), srec("2", 0x387FFE, b"ab")]))
    put("fuzz_bank_image", "outside_twice", image([srec("2", 0x1000, b"abcdefgh"), srec("2", 0x1004, b"x")]))


def bank_decoder():
    put("fuzz_bank_decoder", "nothing", b"")
    put("fuzz_bank_decoder", "can20b", bytes([0x3E, 0x81, 0x01]))        # bank 1 offset 16001: CANType 1
    put("fuzz_bank_decoder", "counts", bytes([0x3E, 0x8C, 0x04, 0x3E, 0x90, 0x09]))  # more frames, mappings
    put("fuzz_bank_decoder", "lookup", bytes([0x03, 0x02, 0x01, 0x40, 0x00, 0x01]))  # entry 0x181, bank 2 byte 0


def workbook():
    for index, extension in enumerate([".xls", ".xlsx", ".ods"]):
        for name in ["frames", "values", "no_rpdodef", "RPDODEF"]:
            source = DATA / (name + extension)
            if source.exists() and source.stat().st_size <= 10000:
                put("fuzz_workbook", name + extension.replace(".", "_"), bytes([index]) + source.read_bytes())
    put("fuzz_workbook", "rpdodef_csv", b"\x03" + (DATA / "RPDODEF.csv").read_bytes())
    put("fuzz_workbook", "quoted_csv", b'\x03"cobid";"dim"\r\n"0x181";"8"\r\n"1""2";3\n')


SIGNALDB = DATA / "signaldb"
EXAMPLES = HERE.parent.parent / "examples"


def dbc_reader():
    put("fuzz_dbc_reader", "demo_drive", (EXAMPLES / "demo-drive.dbc").read_bytes())
    put("fuzz_dbc_reader", "edge_cases", (SIGNALDB / "edge_cases_cp1252.dbc").read_bytes())
    put("fuzz_dbc_reader", "units_utf8", (SIGNALDB / "units_utf8.dbc").read_bytes())
    put("fuzz_dbc_reader", "overlaps",
        'BO_ 1 M: 8 A\n SG_ A : 0|16@1+ (1,0) [0|0] "" B\n SG_ B : 8|8@1- (1,0) [0|0] "" B\n'
        ' SG_ C : 12|8@1+ (1,0) [0|0] "" B\n SG_ D : 11|8@0+ (1,0) [0|0] "" B\n'
        'BO_ 2147483650 X: 12 A\n SG_ F : 0|32@1- (1,0) [0|0] "" B\nSIG_VALTYPE_ 2147483650 F : 1;\n')
    put("fuzz_dbc_reader", "broken", 'BO_ 1 M: 8 A\n SG_ A : 0|16@1+ (1,0 [0|0] "" B\nCM_ "open\r\n')
    put("fuzz_dbc_reader", "vector_forms", (SIGNALDB / "vector_forms.dbc").read_bytes())
    # Statements that are skipped, that refuse their message, and that refuse the file.
    put("fuzz_dbc_reader", "skipped",
        'BU_: A\n  B C\nBO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] "" B\nCM_ SG_ 1 "no signal";\n'
        'CM_ BO_ 1 "no end"\nVAL_ 1 S 1 "a" 2\nBA_ "GenMsgCycleTime" BO_ 1 20;\nBO_TX_BU_ 1 : X\n'
        'BO_ 2 N 8 A\n SG_ T m : 0|8@1+ (1,0) [0|0] "" B\nBO_ 99999999999 X: 8 A\n SG_ U : 0|8@1+ (1,0) [0|0] "" B\n')
    put("fuzz_dbc_reader", "frame_formats",
        'BO_ 1 ShortName_0000: 8 A\n SG_ Sig_0000 : 0|8@1- (1,0) [0|0] "" B\nBO_ 2 F: 8 A\nBO_ 3 G: 4 A\n'
        'BA_DEF_ BO_ "VFrameFormat" ENUM "StandardCAN","ExtendedCAN",\n "StandardCAN_FD";\n'
        'BA_DEF_DEF_ "VFrameFormat" "StandardCAN_FD";\nBA_ "VFrameFormat" BO_ 2 0;\nBA_ "VFrameFormat" BO_ 3 7;\n'
        'BA_ "SystemMessageLongSymbol" BO_ 1 "AMessageNameLongerThanThirtyTwoCharacters";\n'
        'BA_ "SystemSignalLongSymbol" SG_ 1 Sig_0000 "ASignalNameLongerThanThirtyTwoCharacters";\n')
    put("fuzz_dbc_reader", "utf16", "\xff\xfeB\x00O\x00_\x00 \x001\x00")


def eds_reader():
    put("fuzz_eds_reader", "io_node", b"\x05" + (EXAMPLES / "io-node.eds").read_bytes())
    put("fuzz_eds_reader", "no_node", b"\x00" + (EXAMPLES / "io-node.eds").read_bytes()[:4000])
    put("fuzz_eds_reader", "dcf",
        "\x00[DeviceComissioning]\nNodeID=0x0A\n[6000sub1]\nParameterName=In\nDataType=0x0005\n"
        "[1800sub1]\nDefaultValue=$NODEID+0x180\nParameterValue=0x1FF\n[1A00sub0]\nParameterValue=3\n"
        "[1A00sub1]\nDefaultValue=0x60000108\n[1A00sub2]\nDefaultValue=0x00050010\n"
        "[1A00sub3]\nDefaultValue=0x70000120\n[1401sub1]\nDefaultValue=0x80000300 + $NODEID\n")
    put("fuzz_eds_reader", "many_bits",
        "\x01[6406]\nDataType=0x001B\n[1800sub1]\nDefaultValue=-1\n[1801sub1]\nDefaultValue=0x181\n"
        "[1A01sub0]\nDefaultValue=9\n" + "".join("[1A01sub%d]\nDefaultValue=0x64060040\n" % k for k in range(1, 10)))
    put("fuzz_eds_reader", "broken", "\x7f[1800sub1]\nDefaultValue=0600\n[1800SUB01]\nx\n")
    # A ParameterValue that ignores the node id, read with the node id's COB-IDs (an odd node).
    put("fuzz_eds_reader", "parameter_value",
        "\x05[6000sub1]\nParameterName=In\nDataType=0x0005\n[1800sub1]\nDefaultValue=$NODEID+0x180\n"
        "ParameterValue=0x800001A0\n[1A00sub0]\nDefaultValue=1\n[1A00sub1]\nDefaultValue=0x60000108\n"
        "[1801sub1]\nDefaultValue=$NODEID+0x280\nParameterValue=$NODEID+0x290\n[1A01sub0]\nDefaultValue=0\n")


def register_values():
    for i, text in enumerate(["100=0x1234,110=7", "110 = 7", "100=1 110=7", " 1 =-1 ,\t2= 0X8000\n", "0x10=-32768",
                              "100=-0xFFFF0001", "40=1,", "40=1,,41=2", "40=1=2", "40=1,40=2", "70000=1", "40=$10",
                              "=", ",", "40=0x", "65535=65535 0=0"]):
        put("fuzz_register_values", f"list{i:02}", text)


def preview_arguments():
    put("fuzz_preview_arguments", "frames", "181#1122334455667788\0181#R\000000181#11\0201#00\07E5#")
    put("fuzz_preview_arguments", "registers", "--registers\0100=0x1234 101 = -1,1=2")
    put("fuzz_preview_arguments", "registers_equals", "--registers=100=7")
    put("fuzz_preview_arguments", "bad_registers", "--registers\0100=-0xFFFF0001")
    put("fuzz_preview_arguments", "unknown_option", "--out\0x\0181#11")
    put("fuzz_preview_arguments", "dashes", "--\0-181#11\0\x1b[2J#11")
    put("fuzz_preview_arguments", "nothing", "")


def compact_frame():
    for name, text in [("classic", "181#1122334455667788"), ("remote", "12345678#R3"),
                       ("fd", "181##3AABBCCDDEEFF00112233"), ("error", "20000080#0000000000000000"),
                       ("pasted", "181#11 281#2233 7FF#R\n(1733661931.000000) can0 181#0001000003E80010\n"
                                  "(1.5)  can1  281   [2]  00 19 (1.6)  can0  381  [08]  00 04 00 00 00 00 00 00\n"
                                  "  can0  RX B -  12345678  [12]  00 01 02 03 04 05 06 07 08 09 0A 0B\n")]:
        put("fuzz_compact_frame", name, text)


def candump_log():
    put("fuzz_candump_log", "demo", (HERE.parent.parent / "examples" / "demo-bus.log").read_bytes())
    put("fuzz_candump_log", "screen_and_fd",
        "(1.000001)  can0  181   [2]  11 22\n  can0  12345678   [0]  remote request\n"
        "  can0  20000004   [8]  00 00 00 00 00 00 00 00   ERRORFRAME\n"
        "(1.000009)  can0  181  [08]  11 22 33 44 55 66 77 88\n"
        "(1.000010)  can1  TX B -  12345678  [12]  00 01 02 03 04 05 06 07 08 09 0A 0B\n"
        "(1.000011) can1 20000080#0000000000000000\n(1.000004) can0 181##011 R\n(1.000005) can0\n"
        "(x) can0 181#11\r\n")


def asc_log():
    put("fuzz_asc_log", "nine_decimals", (LOGS / "asc_9_decimals.asc").read_bytes())
    put("fuzz_asc_log", "decimal_relative",
        "date Wed Dec 9 10:00:00 am 2026\nbase dec  timestamps relative\ninternal events logged\n"
        "// version 13.0.0\nBegin Triggerblock Wed Dec 9 10:00:00 am 2026\n   0.000000 Start of measurement\n"
        "   0.500000 1  385             Rx   d 2 17 34\n   0.250000 1  74565x          Tx   r\n"
        "   0.250000 2  ErrorFrame\n"
        "   1.000000 CANFD   1 Rx        385                                   0 0 2  2 1 2   130000  130        0 0 0 0 0 0\n"
        "   1.000000 CANFD   3 Rx        385   Drive                           1 0 9 12 1 2 3 4 5 6 7 8 9 10 11 12"
        "   130000  130     3000 0 0 0 0 0\n"
        "   1.000000 1  385             Rx   x 2 17 34\nEnd TriggerBlock\n")
    put("fuzz_asc_log", "events", (LOGS / "asc_events.asc").read_bytes())
    put("fuzz_asc_log", "channels_and_ids",
        "base hex  timestamps absolute\n//0.000000 previous log file: Logging_002.asc\n"
        "   0.200000 99999999999  181   Rx   d 1 11\n   0.300000 65536  181         Rx   d 1 11\n"
        "   0.400000 1  18G             Rx   d 1 11\n   0.500000\n   0.600000 CAN 1 Status:chip status error active\n")


def trc_log():
    for version in ["1_1", "1_2", "1_3", "2_0", "2_1"]:
        put("fuzz_trc_log", "version_" + version, (LOGS / f"trc_{version}.trc").read_bytes())
    put("fuzz_trc_log", "version_1_0",
        "     1)      1841  0001     8  00 00 00 00 00 00 00 00\r\n     2)      1842  0008     4  ERROR 00 19 08 08\r\n"
        "     3)      1843  FFFFFFFF 4  00 00 00 04  BUSLIGHT\r\n     4)      1844  0100     3  RTR\r\n")
    put("fuzz_trc_log", "types",
        ";$FILEVERSION=1.1\n     1)      1059.9  Rx         0181  2  00 01\n"
        "     2)      1061.3  Info       0181  2  11 22\n     3)      1061.4  Rx     FFFFFFFF  2  11 22\n")
    put("fuzz_trc_log", "types_2",
        ";$FILEVERSION=2.1\n;$COLUMNS=N,O,T,B,I,d,R,L,D\n      1      1059.900 DT 1      0181 Rx -  2    00 01\n"
        "      2      1060.000 ST 1           Rx -  4    00 00 00 08\n      3      1060.300 XT 1      0181 Rx -  1    11\n")
    put("fuzz_trc_log", "columns",
        ";$FILEVERSION=2.0\n;$COLUMNS=N,O,T,I,d,D\n      1      1059.900 DT     0181 Rx 2  00 01\n")


def blf_log():
    blf = (LOGS / "blf_can_message2.blf").read_bytes()
    put("fuzz_blf_log", "can_message2", blf)
    # The objects of the stored container alone, and the file cut inside the
    # compressed one.
    put("fuzz_blf_log", "objects", blf[144 + 32:144 + 32 + 196])
    put("fuzz_blf_log", "cut", blf[:-20])
    put("fuzz_blf_log", "time_units", (LOGS / "blf_time_units.blf").read_bytes())


SHA = "d777b9a0c5bfacc4ca8cc7aa0db19701c79a5b5aa62133b09de41fcd59468c4c"


def signal_file():
    head = ('<Message Direction="receive" Name="DriveDiagnostics" CobID="0x481" Extended="N" DLC="8" '
            'WordOrder="high-first" NewFrame="Y" CycleTime="500" Database="../../../demo-drive.dbc" SHA256="' + SHA +
            '">')
    bits = ('<Register Index="21" PosComp="33"/><Register Index="22" PosComp="3"/>'
            '<Signal Name="Ready" Registers="21" Shift="0" Mask="0x1" StartBit="0" Length="1" ByteOrder="Intel" '
            'Type="unsigned" Factor="1" Offset="0" Minimum="0" Maximum="1" Unit=""/>'
            '<Signal Name="DCLinkVoltage" Registers="21" Shift="4" Mask="0xFFF" StartBit="4" Length="12" '
            'ByteOrder="Intel" Type="unsigned" Factor="0.1" Offset="0" Minimum="0" Maximum="409.5" Unit="V" '
            'Comment="DC link voltage in 0.1 V, bits 4 to 15."/>'
            '<Signal Name="HeatsinkTemperature" Registers="22" Shift="0" Mask="0xFF" StartBit="16" Length="8" '
            'ByteOrder="Intel" Type="signed" SignBit="7" Factor="1" Offset="0" Minimum="-40" Maximum="125" '
            'Unit="\xb0C"/>')
    put("fuzz_signal_file", "demo", ('<Signals Version="2">' + head + bits + "</Message></Signals>").encode("utf-8"))
    put("fuzz_signal_file", "version_1",
        ("<Signals>" + head.replace(' CycleTime="500"', '') + bits.replace(' SignBit="7"', '') +
         "</Message></Signals>").encode("utf-8"))
    put("fuzz_signal_file", "no_value",
        ('<Signals Version="2">' + head.replace('CobID="0x481"', 'CobID="0x481" DatabaseCobID="0x482"') +
         bits.replace('Factor="0.1"', 'Factor="nan"').replace('Offset="0" Minimum="-40"', 'Offset="inf" Minimum="-40"') +
         "</Message></Signals>").encode("utf-8"))
    wide = ('<Message Direction="transmit" Name="Ext &amp; &lt;1&gt;" CobID="0x18FF0081" Extended="Y" DLC="8" '
            'WordOrder="low-first" NewFrame="N" Database="/abs/x.dbc" SHA256="' + SHA + '">'
            '<Register Index="0" PosComp="120"/><Register Index="1" PosComp="86"/>'
            '<Register Index="2" PosComp="52"/><Register Index="3" PosComp="18"/>'
            '<Signal Name="D" Registers="0,1,2,3" Shift="0" Mask="0xFFFFFFFFFFFFFFFF" StartBit="7" Length="64" '
            'ByteOrder="Motorola" Type="double" Factor="1e-05" Offset="-1.5" Minimum="-1e308" Maximum="nan" '
            'Unit="" Comment="two&#10;lines&#9;tab"><Value Raw="-9223372036854775808" Text="min"/>'
            '<Value Raw="0" Text=""/></Signal></Message>')
    put("fuzz_signal_file", "values_and_escapes", "<Signals>" + wide + "</Signals>")
    put("fuzz_signal_file", "indented", '<?xml version="1.0" encoding="UTF-8"?>\n<Signals>\n  <!-- c -->\n</Signals>\n')
    put("fuzz_signal_file", "unknown_register",
        ("<Signals>" + head + bits.replace('Registers="22"', 'Registers="23"') + "</Message></Signals>").encode("utf-8"))
    put("fuzz_signal_file", "twice", ("<Signals>" + head + bits + "</Message>" + head + bits +
                                      "</Message></Signals>").encode("utf-8"))
    put("fuzz_signal_file", "broken", "<Signals>" + head + "<Register Index='1' PosComp='1'></Signals>")
    put("fuzz_signal_file", "crowded", "<Signals><Message " + " ".join('a%d="1"' % i for i in range(70)) +
        "/></Signals>")


def file_set_record():
    digest = "0" * 64
    whole = ("vestrel file set 1\nrun import of signals\ntarget RCobDef.xml\nnew .RCobDef.xml.vestrel-new-1-0\n"
             "old .RCobDef.xml.vestrel-old-1-0\nsha256 " + digest + "\n")
    put("fuzz_file_set_record", "whole", whole)
    put("fuzz_file_set_record", "new_file", "vestrel file set 1\nrun decode into the folder\ntarget pargen.xml\n"
        "new .pargen.xml.vestrel-new-1-0\nsha256 " + digest + "\n")
    put("fuzz_file_set_record", "escaped", "vestrel file set 1\nrun a%25b%0A\ntarget R%43obDef.xml\n")
    put("fuzz_file_set_record", "outside", whole.replace("target RCobDef.xml", "target ../outside.xml"))
    put("fuzz_file_set_record", "cut", whole[:40])


if __name__ == "__main__":
    for harness in ["integer_text", "comm_parameters", "frame_table", "frame_mapping", "bank_builder",
                    "mapping_csv", "bank_merge", "bank_image", "bank_decoder", "workbook", "dbc_reader", "eds_reader",
                    "register_values", "preview_arguments", "compact_frame", "candump_log", "asc_log", "trc_log",
                    "blf_log", "signal_file", "file_set_record"]:
        globals()[harness]()
