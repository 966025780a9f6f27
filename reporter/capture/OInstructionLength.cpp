#include "OInstructionLength.h"

#include "OMemory.h"

#include <array>

namespace reporter {

namespace {

// Operand classes of the one-byte opcode map.
enum : uint8_t {
    None = 0,
    ModRM = 1,
    Imm8 = 2,
    ImmZ = 4, // 4 bytes, 2 with the operand-size prefix
    Imm16 = 8,
    Rel8 = 16,
    Rel32 = 32,
    Invalid = 64,
    Special = 128, // decoded by hand
};

constexpr std::array<uint8_t, 256> MakeOneByteTable() {
    std::array<uint8_t, 256> t{};
    for (int row = 0; row < 0x40; row += 8) {
        t[size_t(row + 0)] = t[size_t(row + 1)] = t[size_t(row + 2)] = t[size_t(row + 3)] = ModRM;
        t[size_t(row + 4)] = Imm8;
        t[size_t(row + 5)] = ImmZ;
    }
    for (int op : {0x06, 0x07, 0x0E, 0x16, 0x17, 0x1E, 0x1F, 0x27, 0x2F, 0x37,
                   0x3F, 0x60, 0x61, 0x82, 0x9A, 0xCE, 0xD4, 0xD5, 0xD6, 0xEA})
        t[size_t(op)] = Invalid;
    t[0x0F] = Special;
    t[0x63] = ModRM;
    t[0x68] = ImmZ;
    t[0x69] = ModRM | ImmZ;
    t[0x6A] = Imm8;
    t[0x6B] = ModRM | Imm8;
    for (int op = 0x70; op <= 0x7F; ++op)
        t[size_t(op)] = Rel8;
    t[0x80] = ModRM | Imm8;
    t[0x81] = ModRM | ImmZ;
    t[0x83] = ModRM | Imm8;
    for (int op = 0x84; op <= 0x8F; ++op)
        t[size_t(op)] = ModRM;
    t[0xA0] = t[0xA1] = t[0xA2] = t[0xA3] = Special; // 64-bit absolute address
    t[0xA8] = Imm8;
    t[0xA9] = ImmZ;
    for (int op = 0xB0; op <= 0xB7; ++op)
        t[size_t(op)] = Imm8;
    for (int op = 0xB8; op <= 0xBF; ++op)
        t[size_t(op)] = Special; // 8 bytes with REX.W
    t[0xC0] = t[0xC1] = ModRM | Imm8;
    t[0xC2] = Imm16;
    t[0xC4] = t[0xC5] = Special; // VEX
    t[0xC6] = ModRM | Imm8;
    t[0xC7] = ModRM | ImmZ;
    t[0xC8] = Special; // imm16 + imm8
    t[0xCA] = Imm16;
    t[0xCD] = Imm8;
    for (int op = 0xD0; op <= 0xD3; ++op)
        t[size_t(op)] = ModRM;
    for (int op = 0xD8; op <= 0xDF; ++op)
        t[size_t(op)] = ModRM;
    t[0xE0] = t[0xE1] = t[0xE2] = t[0xE3] = Rel8;
    t[0xE4] = t[0xE5] = t[0xE6] = t[0xE7] = Imm8;
    t[0xE8] = t[0xE9] = Rel32;
    t[0xEB] = Rel8;
    t[0xF6] = t[0xF7] = Special; // immediate only with reg 0 or 1
    t[0xFE] = t[0xFF] = ModRM;
    t[0x62] = Special; // EVEX
    return t;
}

constexpr std::array<uint8_t, 256> MakeTwoByteTable() {
    std::array<uint8_t, 256> t{};
    t.fill(ModRM);
    for (int op : {0x05, 0x06, 0x07, 0x08, 0x09, 0x0B, 0x0E, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x37, 0x77,
                   0xA0, 0xA1, 0xA2, 0xA8, 0xA9, 0xAA, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF})
        t[size_t(op)] = None;
    for (int op : {0x04, 0x0A, 0x0C, 0x24, 0x25, 0x26, 0x27, 0x36, 0x39, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x7A,
                   0x7B, 0xA6, 0xA7})
        t[size_t(op)] = Invalid;
    for (int op : {0x70, 0x71, 0x72, 0x73, 0xA4, 0xAC, 0xBA, 0xC2, 0xC4, 0xC5, 0xC6})
        t[size_t(op)] = ModRM | Imm8;
    for (int op = 0x80; op <= 0x8F; ++op)
        t[size_t(op)] = Rel32;
    t[0x38] = t[0x3A] = t[0x0F] = Special;
    return t;
}

constexpr std::array<uint8_t, 256> OneByte = MakeOneByteTable();
constexpr std::array<uint8_t, 256> TwoByte = MakeTwoByteTable();

bool IsLegacyPrefix(uint8_t b) {
    switch (b) {
    case 0x26:
    case 0x2E:
    case 0x36:
    case 0x3E:
    case 0x64:
    case 0x65:
    case 0x66:
    case 0x67:
    case 0xF0:
    case 0xF2:
    case 0xF3:
        return true;
    default:
        return false;
    }
}

class TDecoder {
public:
    TDecoder(const uint8_t* code, size_t available, TInstructionInfo& info)
        : m_code(code), m_available(available < 15 ? available : 15), m_info(info) {}

    bool Run() {
        m_info = TInstructionInfo{};
        bool operand16 = false;
        while (Have(1) && IsLegacyPrefix(m_code[m_pos])) {
            operand16 |= m_code[m_pos] == 0x66;
            m_address32 |= m_code[m_pos] == 0x67;
            ++m_pos;
        }
        bool rexW = false;
        if (Have(1) && (m_code[m_pos] & 0xF0) == 0x40) {
            rexW = (m_code[m_pos] & 0x08) != 0;
            ++m_pos;
        }
        if (!Have(1))
            return false;
        const uint8_t op = m_code[m_pos++];
        const uint8_t cls = OneByte[op];
        if (cls & Invalid)
            return false;
        if (!(cls & Special))
            return Operands(cls, operand16) && Finish(op);
        switch (op) {
        case 0x0F:
            return TwoByteMap(operand16);
        case 0xA0:
        case 0xA1:
        case 0xA2:
        case 0xA3:
            return Skip(m_address32 ? 4 : 8) && Finish(op);
        case 0xC8:
            return Skip(3) && Finish(op);
        case 0xC4:
        case 0xC5:
        case 0x62:
            return VectorExtension(op);
        case 0xF6:
        case 0xF7: {
            if (!Have(1))
                return false;
            const uint8_t reg = (m_code[m_pos] >> 3) & 7;
            const uint8_t imm = reg <= 1 ? (op == 0xF6 ? Imm8 : ImmZ) : None;
            return Operands(uint8_t(ModRM | imm), operand16) && Finish(op);
        }
        default: // B8..BF: mov reg, imm
            return Skip(rexW ? 8 : (operand16 ? 2 : 4)) && Finish(op);
        }
    }

private:
    bool Have(size_t n) const { return m_pos + n <= m_available; }
    bool Skip(size_t n) {
        if (!Have(n))
            return false;
        m_pos += n;
        return true;
    }

    bool DecodeModRM() {
        if (!Have(1))
            return false;
        const uint8_t modrm = m_code[m_pos++];
        const uint8_t mod = modrm >> 6, rm = modrm & 7;
        m_modrmReg = (modrm >> 3) & 7;
        if (mod == 3)
            return true;
        if (rm == 4) {
            if (!Have(1))
                return false;
            const uint8_t sib = m_code[m_pos++];
            if (mod == 0 && (sib & 7) == 5)
                return Skip(4);
        }
        if (mod == 0 && rm == 5) {
            m_info.RipRelative = true;
            m_info.RipOffset = uint8_t(m_pos);
            return Skip(4);
        }
        if (mod == 1)
            return Skip(1);
        if (mod == 2)
            return Skip(4);
        return true;
    }

    bool Operands(uint8_t cls, bool operand16) {
        if ((cls & ModRM) && !DecodeModRM())
            return false;
        if (cls & Rel8) {
            m_info.Branch = TBranchKind::Short;
            m_info.BranchOffset = uint8_t(m_pos);
            return Skip(1);
        }
        if (cls & Rel32) {
            m_info.Branch = TBranchKind::Near;
            m_info.BranchOffset = uint8_t(m_pos);
            return Skip(4);
        }
        size_t immediate = 0;
        if (cls & Imm8)
            immediate += 1;
        if (cls & Imm16)
            immediate += 2;
        if (cls & ImmZ)
            immediate += operand16 ? 2 : 4;
        return Skip(immediate);
    }

    bool TwoByteMap(bool operand16) {
        if (!Have(1))
            return false;
        const uint8_t op = m_code[m_pos++];
        if (op == 0x38)
            return Skip(1) && DecodeModRM() && Finish(0);
        if (op == 0x3A)
            return Skip(1) && DecodeModRM() && Skip(1) && Finish(0);
        if (op == 0x0F) // 3DNow!: the opcode follows the operands as a suffix byte
            return DecodeModRM() && Skip(1) && Finish(0);
        const uint8_t cls = TwoByte[op];
        if (cls & Invalid)
            return false;
        return Operands(cls, operand16) && Finish(0);
    }

    // VEX (C4, C5) and EVEX (62) encodings; always vector instructions in 64-bit mode.
    bool VectorExtension(uint8_t op) {
        unsigned map = 1;
        if (op == 0xC5) {
            if (!Skip(1))
                return false;
        } else if (op == 0xC4) {
            if (!Have(2))
                return false;
            map = m_code[m_pos] & 0x1F;
            m_pos += 2;
        } else {
            if (!Have(3))
                return false;
            map = m_code[m_pos] & 0x07;
            m_pos += 3;
        }
        if (!Have(1))
            return false;
        const uint8_t opcode = m_code[m_pos++];
        if (map == 1 && opcode == 0x77 && op != 0x62)
            return Finish(0); // vzeroupper, vzeroall
        if (map < 1 || map > 6 || map == 4)
            return false;
        if (!DecodeModRM())
            return false;
        bool imm8 = map == 3;
        if (map == 1)
            imm8 = opcode == 0x70 || opcode == 0x71 || opcode == 0x72 || opcode == 0x73 || opcode == 0xC2 ||
                   opcode == 0xC4 || opcode == 0xC5 || opcode == 0xC6;
        return Skip(imm8 ? 1 : 0) && Finish(0);
    }

    bool Finish(uint8_t oneByteOpcode) {
        m_info.Length = uint8_t(m_pos);
        switch (oneByteOpcode) {
        case 0xC2:
        case 0xC3:
        case 0xCA:
        case 0xCB:
        case 0xCF:
        case 0xE9:
        case 0xEB:
            m_info.EndsFlow = true;
            break;
        case 0xFF:
            m_info.EndsFlow = m_modrmReg == 4 || m_modrmReg == 5;
            break;
        default:
            break;
        }
        return true;
    }

    const uint8_t* m_code;
    size_t m_available;
    TInstructionInfo& m_info;
    size_t m_pos = 0;
    bool m_address32 = false;
    uint8_t m_modrmReg = 0;
};

} // namespace

bool DecodeInstruction(const uint8_t* code, size_t available, TInstructionInfo& info) {
    return TDecoder(code, available, info).Run();
}

bool GetInstructionLength(uintptr_t address, int& length) {
    uint8_t code[15];
    const size_t readable = ReadableSize(address, sizeof code);
    if (readable == 0 || !SafeRead(address, code, readable > sizeof code ? sizeof code : readable))
        return false;
    TInstructionInfo info;
    if (!DecodeInstruction(code, readable > sizeof code ? sizeof code : readable, info))
        return false;
    length = info.Length;
    return true;
}

} // namespace reporter
