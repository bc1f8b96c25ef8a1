/** Top-level header includes, global parser declarations, and yyparse. */
#include <assert.h>
#include <ctype.h>
#include <limits.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

YYSTYPE yylval;
int yyerrstatus = 0;

int yyparse(void);
int yylex(void);
int yyaction(int yystate, YYSTYPE *result, int yysp, YYSTYPE *yyvs);
extern char *yytext;

/* The parser's own helpers and records are private to this file, so that
   its only external names are its interface. */
struct parser;
static struct parser *parser_new(void);
static void parser_free(struct parser *parser);
static bool parser_scan(struct parser *parser);

static void parser_gather_rows(void);

/* Parses the whole input from yylex: 0 when it was accepted, -1 otherwise. */
int yyparse(void)
{
    parser_gather_rows();
    struct parser *parser = parser_new();
    if (parser == NULL) {
        return -1;
    }
    bool accepted = parser_scan(parser);
    parser_free(parser);
    return accepted ? 0 : -1;
}

extern int yypact[];
extern int yytable[];
extern int yycheck[];
extern int yydefact[];
extern int yyaccept[];
extern int yygopact[];
extern int yygotable[];
extern int yygocheck[];
extern int yyr1[];
extern int yyr2[];

/** Definition and memory management logic for the parser stack. */

/* What the parser reads of a state at every step, gathered into one record
   so that one load brings it: the state's two comb bases and its default
   rule with that rule's length and nonterminal. The goto comb base and the
   nonterminal are kept as byte offsets into the goto records (times the
   record's size), so that a goto's record is found by one addition. */
struct parser_row {
    int actions; /* the action comb base */
    int gotos;   /* the goto comb base, in bytes */
    int rule;    /* the default rule, or -1 */
    int length;  /* its length */
    int nonterm; /* its nonterminal, in bytes */
};

/* The first state's record, gathered with the others by the first parse. */
static struct parser_row parser_first_row;

/* The entries that the stack's record holds itself, so that most parses
   allocate nothing more. */
enum { parser_first_capacity = 64 };

/* The stack: each entry's state, value and the state's goto comb base. The
   grammar symbols are not kept, since the states decide everything. The
   arrays are the record's own first ones until the stack outgrows them,
   then parts of one allocated block. */
struct parser {
    bool accept;
    size_t capacity;
    size_t count;
    int *states;
    YYSTYPE *values;
    int *gotos; /* the goto comb base (in bytes) of each entry's state, read when a reduction exposes it */
    const struct parser_row *row; /* the record of the top entry's state */
    YYSTYPE first_values[parser_first_capacity];
    int first_states[parser_first_capacity];
    int first_gotos[parser_first_capacity];
};

static bool parser_push(struct parser *parser, int state, int gotos, YYSTYPE value);
static void parser_pop(struct parser *parser, size_t n);

/* A stack holding the bottom entry (state 0), or NULL when memory runs out. */
static struct parser *parser_new(void)
{
    struct parser *parser = (struct parser *)malloc(sizeof *parser);
    if (parser == NULL) {
        return NULL;
    }
    parser->accept = false;
    parser->capacity = parser_first_capacity;
    parser->count = 0;
    parser->states = parser->first_states;
    parser->values = parser->first_values;
    parser->gotos = parser->first_gotos;
    parser->row = &parser_first_row;
    YYSTYPE bottom;
    memset(&bottom, 0, sizeof bottom);
    if (!parser_push(parser, 0, parser_first_row.gotos, bottom)) {
        parser_free(parser);
        return NULL;
    }
    return parser;
}

/* Releases the block that the stack grew into, if any. */
static void parser_free_block(struct parser *parser)
{
    if (parser->values != parser->first_values) {
        free(parser->values); /* the block that holds all three arrays */
    }
}

/* Releases the stack's block and the record; accepts NULL. */
static void parser_free(struct parser *parser)
{
    if (parser == NULL) {
        return;
    }
    parser_free_block(parser);
    free(parser);
}

/** Lookup functions: one displacement, one confirmation, one entry.

   The lookup arrays are defined before this code in the same file:
   yylookup holds the column map, the lengths of the two combs and whether
   the goto comb shares the action comb's bases (yygotobase is then empty),
   and each comb holds every state's row at base[state] + column, confirmed
   by the column stored in check; a slot that no row owns holds value 0. All
   arithmetic is unsigned, so that any token number, however large or
   negative, lands either outside the comb or on a slot that does not
   confirm it. */

/* The column of a token number: the end of input (-1) and the quoted
   terminals first, then the named terminals; UINT_MAX - 1 for a number that
   no terminal has, which no slot confirms (a free slot's check, -1, is
   UINT_MAX). Computed without branches: which kind of terminal comes next
   is seldom predictable. */
static unsigned int find_column(int symbol)
{
    unsigned int low = (unsigned int)symbol + 1u;
    unsigned int high = (unsigned int)symbol - (unsigned int)yylookup[1] + (unsigned int)yylookup[0];
    unsigned int column = symbol >= yylookup[1] ? high : UINT_MAX - 1u;
    return low < (unsigned int)yylookup[0] ? low : column;
}

/* A slot of the goto comb with the record of the state it leads to, so that
   a reduction finds its target and that target's record in one load. A run
   of default reductions of one symbol keeps reducing onto the same exposed
   state, so a slot also knows where such a run goes two steps on: the loop
   then learns each goto one step before it needs it, instead of waiting for
   the load that the goto before it makes. */
struct parser_goto {
    int nonterm;           /* the nonterminal the slot confirms, in bytes, or -1 times the record's size */
    int state;             /* the state reached, or -1 */
    struct parser_row row; /* that state's record */
    int ahead;             /* the record (in bytes) that two default reductions of one symbol lead to from the slot's row, or -1 */
};

/* A slot of the action comb with what its entry leads to: after a shift,
   the record of the state shifted to; for a reduction, its rule, length and
   nonterminal in the places of a default rule's. The comb's check array
   stays apart, so that the many lookups that find no entry read only it.
   The record is not rounded up to 32 bytes: on a grammar of many states the
   records outgrow the processor's caches, and smaller ones miss less. */
struct parser_action {
    int value;             /* the entry: d + 1 for a shift to state d, -(2r + 1) or -(2r + 2) for a reduction by r */
    struct parser_row row; /* as above */
};

/* One record per slot of either comb and per nonterminal's default goto,
   gathered from the tables by the first parse. The default gotos follow the
   goto comb's slots in one array, so that any goto record is a byte offset
   into it. */
static struct parser_action parser_actions[sizeof yyactvalue / sizeof yyactvalue[0]];
static struct parser_goto parser_gotos[sizeof yygotovalue / sizeof yygotovalue[0] + sizeof yygotodefault / sizeof yygotodefault[0]];
static const size_t parser_comb_bytes = sizeof yygotovalue / sizeof yygotovalue[0] * sizeof(struct parser_goto);
static struct parser_goto *const parser_default_gotos = parser_gotos + sizeof yygotovalue / sizeof yygotovalue[0];
static bool parser_rows_gathered = false;

/* A goto comb base or a nonterminal as a byte offset into the goto records. */
static int parser_goto_offset(int n)
{
    return (int)((unsigned int)n * (unsigned int)sizeof(struct parser_goto));
}

/* Puts the rule (or -1 for none) with its length and nonterminal into row. */
static void parser_set_rule(struct parser_row *row, int rule)
{
    row->rule = rule;
    row->length = rule >= 0 ? yyr2[rule] : 0;
    row->nonterm = parser_goto_offset(rule >= 0 ? yyr1[rule] : 0);
}

/* The record of a state, read from the tables. */
static struct parser_row parser_row_of(int state)
{
    struct parser_row row;
    row.actions = yyactbase[state];
    row.gotos = parser_goto_offset(yylookup[4] != 0 ? yyactbase[state] : yygotobase[state]);
    parser_set_rule(&row, yydefact[state]);
    return row;
}

/* The goto record of the state, or of no state for -1. */
static struct parser_goto parser_goto_to(int nonterm, int state)
{
    struct parser_goto found;
    memset(&found, 0, sizeof found);
    found.nonterm = parser_goto_offset(nonterm);
    found.state = state;
    found.ahead = -1;
    if (state >= 0) {
        found.row = parser_row_of(state);
    }
    return found;
}

/* The action record of an entry. */
static struct parser_action parser_action_of(int value)
{
    struct parser_action action;
    memset(&action, 0, sizeof action);
    action.value = value;
    if (value > 0) {
        action.row = parser_row_of(value - 1);
    } else if (value < 0) {
        parser_set_rule(&action.row, -(value + 1) / 2);
    }
    return action;
}

static const struct parser_goto *find_goto(int base, int nonterm);

/* The goto that a default reduction of one symbol in found's state makes
   from the row whose goto comb base (in bytes) is given, or NULL when found
   is NULL, leads nowhere or its state's default rule is not of one symbol. */
static const struct parser_goto *parser_goto_after(const struct parser_goto *found, int base)
{
    if (found == NULL || found->state < 0 || found->row.length != 1) {
        return NULL;
    }
    return find_goto(base, found->row.nonterm);
}

/* Gives every slot of the goto comb that a row owns the record that two
   default reductions of one symbol lead to from that row. A default goto
   serves many rows, so it knows none. */
static void parser_look_ahead(void)
{
    for (size_t slot = 0; slot < (size_t)yylookup[3]; ++slot) {
        struct parser_goto *found = &parser_gotos[slot];
        int base = parser_goto_offset((int)slot) - found->nonterm;
        const struct parser_goto *ahead = parser_goto_after(parser_goto_after(found, base), base);
        if (ahead != NULL) {
            found->ahead = (int)((const char *)ahead - (const char *)parser_gotos);
        }
    }
}

/* Gathers the records from the tables, once. */
static void parser_gather_rows(void)
{
    if (parser_rows_gathered) {
        return;
    }
    for (size_t slot = 0; slot < sizeof yyactvalue / sizeof yyactvalue[0]; ++slot) {
        parser_actions[slot] = parser_action_of(yyactvalue[slot]);
    }
    /* An empty comb is written as one element, which no row owns. */
    for (size_t slot = 0; slot < sizeof yygotovalue / sizeof yygotovalue[0]; ++slot) {
        bool owned = slot < (size_t)yylookup[3];
        parser_gotos[slot] = parser_goto_to(owned ? yygotocheck[slot] : -1, owned ? yygotovalue[slot] - 1 : -1);
    }
    for (size_t n = 0; n < sizeof yygotodefault / sizeof yygotodefault[0]; ++n) {
        parser_default_gotos[n] = parser_goto_to((int)n, yygotodefault[n]);
    }
    parser_look_ahead();
    parser_first_row = parser_row_of(0);
    parser_rows_gathered = true;
}

/* The action record of the state whose record is given for the column, or
   NULL when the state has no entry there and its default rule applies. */
static const struct parser_action *find_action(const struct parser_row *row, unsigned int column)
{
    unsigned int slot = (unsigned int)row->actions + column;
    if (slot < (unsigned int)yylookup[2] && (unsigned int)yyactcheck[slot] == column) {
        return &parser_actions[slot];
    }
    return NULL;
}

/* The goto over the nonterminal (in bytes) from a state whose goto comb
   base (in bytes) is given: its own entry, or else the nonterminal's
   default; its state is -1 when the nonterminal has no goto at all. */
static const struct parser_goto *find_goto(int base, int nonterm)
{
    unsigned int offset = (unsigned int)base + (unsigned int)nonterm;
    if (offset < parser_comb_bytes) {
        const struct parser_goto *found = (const struct parser_goto *)(const void *)((const char *)parser_gotos + offset);
        if (found->nonterm == nonterm) {
            return found;
        }
    }
    return (const struct parser_goto *)(const void *)((const char *)parser_default_gotos + nonterm);
}

/* Asks the processor for the goto record that a default reduction in the
   top state, whose record is given, would read, so that it arrives while
   the next token is read and looked up: in a grammar of many states the
   records lie far apart, and each step would otherwise wait for memory.
   Only a hint; where the compiler has no way to give it, nothing happens. */
static void parser_prefetch_goto(const struct parser *parser, const struct parser_row *row)
{
#if defined(__GNUC__)
    size_t length = (size_t)row->length;
    if (length >= parser->count) {
        return;
    }
    int base = length == 0 ? row->gotos : parser->gotos[parser->count - 1 - length];
    unsigned int offset = (unsigned int)base + (unsigned int)row->nonterm;
    if (offset < parser_comb_bytes) {
        __builtin_prefetch((const char *)parser_gotos + offset);
    }
#else
    (void)parser;
    (void)row;
#endif
}

/* yytext for the error messages; a scanner that never set it prints "". */
static const char *parser_token_text(void)
{
    return yytext != NULL ? yytext : "";
}

/** Core parser loop that drives parsing state transitions. */

/* parser_push, with a message when the stack cannot grow. */
static inline bool parser_push_or_report(struct parser *parser, int state, int gotos, YYSTYPE value)
{
    if (parser_push(parser, state, gotos, value)) {
        return true;
    }
    printf("Out of memory '%s'\n", parser_token_text());
    return false;
}

/* A watch over one run of reductions without a shift. A run that reduces
   the same nonterminal onto the same exposed state again, at the same or a
   greater depth, without the stack having gone below the earlier depth in
   between, can only repeat for ever: the stack either repeats exactly or
   grows. The watch keeps one checkpoint, moved down whenever the stack goes
   below it and forward after 1, 2, 4, ... reductions, so that every such
   repetition is met within a number of reductions bounded by the grammar. */
struct parser_watch {
    size_t depth;      /* the stack size at the checkpoint, after its pop; 0 for none */
    int state;         /* the state exposed there */
    int nonterm;       /* the nonterminal reduced there */
    size_t reductions; /* since the checkpoint last moved forward */
    size_t interval;   /* reductions before it moves forward again */
    bool accepted;     /* an accepting reduction was made since the checkpoint */
    bool spared;       /* a repetition through an accepting reduction was let go once */
};

/* Moves the checkpoint to the reduction of nonterm onto state at depth. */
static void parser_watch_mark(struct parser_watch *watch, int state, int nonterm, size_t depth)
{
    watch->depth = depth;
    watch->state = state;
    watch->nonterm = nonterm;
    watch->accepted = false;
}

/* Notes the reduction of nonterm onto the exposed state at the stack size
   depth; false when the run can only repeat for ever. */
static bool parser_watch_reduction(struct parser_watch *watch, int state, int nonterm, size_t depth)
{
    if (depth < watch->depth) {
        parser_watch_mark(watch, state, nonterm, depth);
    } else if (state == watch->state && nonterm == watch->nonterm) {
        /* A repetition through an accepting reduction comes round once
           more, so that a start symbol deriving itself is still seen. */
        if (!watch->accepted || watch->spared) {
            return false;
        }
        watch->spared = true;
        parser_watch_mark(watch, state, nonterm, depth);
    }
    if (++watch->reductions == watch->interval) {
        parser_watch_mark(watch, state, nonterm, depth);
        watch->reductions = 0;
        watch->interval *= 2;
    }
    return true;
}

/* Feeds one symbol to the parser: reduces as the tables say until the symbol
   is shifted or, for the end of input (-1), until the input is accepted.
   False after a parse error or when the stack cannot grow.

   The loop keeps the top state with its record, and the goto comb base of
   the entry under the top, in locals: a reduction of one symbol, the most
   common kind, then needs no load from the stack, and its goto brings the
   next state's record with it, as a shift's entry does. */
static bool parser_advance(struct parser *parser, int symbol, YYSTYPE value)
{
    /* The stack at the last accepting reduction made deep inside it, and how
       low the stack has been since. Meeting that stack again means that the
       end of input goes round in a circle (a start symbol that derives
       itself), and the input is then accepted as it stands. */
    size_t circle_count = 0;
    int circle_state = -1;
    size_t lowest = 0;
    /* Most runs of reductions are short and end without a loop, so the
       watch starts only once a run is longer than any of those. */
    size_t run = 0;
    struct parser_watch watch = {0, -1, -1, 0, 1, false, false};
    unsigned int column = find_column(symbol);
    size_t count = parser->count;
    int top = parser->states[count - 1];
    int below = count >= 2 ? parser->gotos[count - 2] : 0;
    const struct parser_row *row = parser->row;
    /* The goto record that brought the top state, if a goto did, and the
       record that a default reduction of one symbol there leads to, once
       known (in bytes; -1 until then). */
    const struct parser_goto *here = NULL;
    int ahead = -1;
    bool accept = parser->accept;
    if (accept || top < 0) {
        /* The input was accepted already: nothing may follow it. */
        printf("No Rule '%s'\n", parser_token_text());
        return false;
    }
    for (;;) {
        const struct parser_action *action = find_action(row, column);
        /* The most common step: a default reduction of one symbol. It needs
           none of the checks below, replaces the top entry and exposes the
           same state as the step before, so the goto after it is known in
           advance. A goto that leads nowhere is left to the full step. */
        if (action == NULL && row->length == 1 && count >= 2 && run < 64) {
            const struct parser_goto *next = ahead >= 0
                ? (const struct parser_goto *)(const void *)((const char *)parser_gotos + ahead)
                : find_goto(below, row->nonterm);
            if (next->state >= 0) {
                ahead = here != NULL ? here->ahead : -1;
                here = next;
                ++run;
                YYSTYPE result;
                yyaction(row->rule, &result, (int)count, parser->values);
                top = next->state;
                row = &next->row;
                parser->values[count - 1] = result;
                parser->states[count - 1] = top;
                parser->gotos[count - 1] = row->gotos;
                continue;
            }
        }
        const struct parser_row *reduce = row;
        if (action != NULL) {
            if (action->value > 0) {
                if (!parser_push_or_report(parser, action->value - 1, action->row.gotos, value)) {
                    return false;
                }
                parser->row = &action->row;
                parser_prefetch_goto(parser, &action->row);
                return true;
            }
            accept = action->value % 2 == 0; /* -(2r + 2) */
            parser->accept = accept;
            reduce = &action->row;
        }
        int rule = reduce->rule;
        size_t length = (size_t)reduce->length;
        int nonterm = reduce->nonterm;
        if (rule == -1) {
            printf("No Rule '%s'\n", parser_token_text());
            return false;
        }
        if (length >= count) {
            printf("No Rule '%s'\n", parser_token_text());
            return false;
        }
        /* The accepting rule may also be reduced deep inside the input; only
           a reduction that exposes the bottom of the stack ends the parse. */
        if (accept && count - length > 1) {
            if (count == circle_count && top == circle_state && lowest + 1 >= circle_count) {
                parser->row = row;
                return true;
            }
            accept = false;
            parser->accept = false;
            circle_count = count;
            circle_state = top;
            lowest = count;
            watch.accepted = true;
        }
        /* The accepting reduction over the bottom entry ends the run. */
        size_t depth = count - length;
        if (!accept && ++run > 64 &&
            !parser_watch_reduction(&watch, parser->states[depth - 1], nonterm, depth)) {
            printf("No Rule '%s'\n", parser_token_text());
            return false;
        }
        YYSTYPE result;
        yyaction(rule, &result, (int)count, parser->values);
        /* The entry under the top stays where it is after a reduction of
           one symbol; otherwise the exposed entry is the new one under it. */
        int exposed = below;
        if (length != 1) {
            exposed = length == 0 ? row->gotos : parser->gotos[depth - 1];
            below = exposed;
        }
        parser_pop(parser, count - depth);
        count = depth;
        if (count < lowest) {
            lowest = count;
        }
        const struct parser_goto *found = find_goto(exposed, nonterm);
        here = found;
        ahead = -1;
        top = found->state;
        row = &found->row;
        if (top == -1 && !accept) {
            printf("No Goto or Accept '%s'\n", parser_token_text());
            return false;
        }
        if (!parser_push_or_report(parser, top, row->gotos, result)) {
            return false;
        }
        ++count;
        parser_prefetch_goto(parser, row);
        if (accept) {
            parser->row = row;
            return true;
        }
    }
}

/** Entry point for scanning input using yylex and advancing the parser. */

/* Reads tokens until the input is accepted (true) or a parse error (false). */
static bool parser_scan(struct parser *parser)
{
    for (;;) {
        int token = yylex();
        YYSTYPE value = yylval;
        if (token == 0) {
            if (parser->accept) {
                return true;
            }
            token = -1;
        }
        if (!parser_advance(parser, token, value)) {
            return false;
        }
    }
}

/** Stack space allocation and reallocation routines. */

/* Grows the three arrays from the record's own 64 entries to 128, 256, ...
   in one block for the three. False when they cannot grow; the stack is
   then as it was. */
static bool parser_inc_space(struct parser *parser)
{
    /* The values come first; a capacity that is a multiple of 4 keeps the
       arrays of int after them aligned, whatever the value type's size. */
    size_t entry = sizeof(YYSTYPE) + 2 * sizeof(int);
    size_t max = SIZE_MAX / entry / 4 * 4;
    if (parser->capacity >= max) {
        return false;
    }
    size_t capacity = parser->capacity < max / 2 ? parser->capacity * 2 : max;
    YYSTYPE *values = (YYSTYPE *)malloc(capacity * entry);
    if (values == NULL) {
        return false;
    }
    int *states = (int *)(void *)(values + capacity);
    int *gotos = states + capacity;
    memcpy(values, parser->values, parser->count * sizeof *values);
    memcpy(states, parser->states, parser->count * sizeof *states);
    memcpy(gotos, parser->gotos, parser->count * sizeof *gotos);
    parser_free_block(parser);
    parser->values = values;
    parser->states = states;
    parser->gotos = gotos;
    parser->capacity = capacity;
    return true;
}

/* Adds (state, value) on top with the state's goto comb base (in
   bytes); false when the stack cannot grow.
   Inline, since every step of the parser ends in one. */
static inline bool parser_push(struct parser *parser, int state, int gotos, YYSTYPE value)
{
    if (parser->count == parser->capacity && !parser_inc_space(parser)) {
        return false;
    }
    parser->values[parser->count] = value;
    parser->states[parser->count] = state;
    parser->gotos[parser->count] = gotos;
    parser->count++;
    return true;
}

/* Removes the top n entries; their storage stays for later pushes. */
static void parser_pop(struct parser *parser, size_t n)
{
    parser->count -= n;
}
