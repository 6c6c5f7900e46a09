/* Grammar of the cursor library's SQL analyser. Every production builds one
   parse-tree node whose template, once the tree's texts are regenerated,
   gives the statement's normalised text. Templates are written readably
   ("$n" is the text of child n) and turned into template bytes by the
   compiler (SCR_TPL). */

%require "3.8"
%define api.pure full
%define api.prefix {scsql_}
%define api.token.prefix {TK_}
%define parse.error simple
%parse-param {scrs::ScParse* ctx}
%lex-param {void* lexScanner}

/* The known ambiguity: an ORDER BY after a query could end the query tail
   or the SELECT statement; it belongs to the innermost query tail (shift),
   so the statement-level holder stays empty. A change in this number means
   the grammar changed. */
%expect 2

%code requires {
#include "scrs/ptree.h"
namespace scrs { struct ScParse; }
}

%union {
  const char* str;
  PT_NODE* node;
}

%code {
#include "scrs/sqlparse.h"
#include "scrs/sqltmpl.h"
#include "scrs/sqlnodes.h"

#define lexScanner (ctx->scanner)
int scsql_lex(SCSQL_STYPE* yylval, void* yyscanner);
static void scsql_error(scrs::ScParse* ctx, const char* msg) { ctx->error(msg); }

#define T(lit) SCR_TPL(lit)
/* Builders give null when memory runs out; a node builder given a null child
   frees the other children and gives null too, so one check at the end of an
   action covers every node the action built. The parser's own cleanup never
   frees the right-hand side of the rule being reduced, hence this care. */
#define L(type, text) scrs::mkLeaf(ctx, (type), (text))
#define N(...) scrs::mkNode(ctx, __VA_ARGS__)
#define CHECK(v) \
  if (!(v)) YYNOMEM
}

%destructor { PT_Free(&$$, PT_FreeNode); } <node>

%token SELECT UPDATE DELETE INSERT OTHERSTMT CALLESC
%token ALL AND ANY AS ASC BETWEEN BY CASE CURRENT DESC DISTINCT ELSE END EXISTS
%token FN FROM GROUP HAVING IN INTO IS JOIN LIKE NOT NULL OF OJ ON OR OUTER
%token PERCENT SET THEN TIES TOP UNION USER VALUES WHEN WHERE WITH
%token ORDER FULL LEFT RIGHT INNER
%token <str> AGGREGATE ESCAPECLAUSE DATELIT TIMELIT TSLIT IDENT STRING INTNUM DECNUM REALNUM HEXNUM
%token <str> COMPARISON OLDJOIN
%token CONCAT PARAM ESCOPEN ESCCLOSE VENDOROPEN VENDORCLOSE
%token LEXERR

%left OR
%left AND
%precedence NOT

%type <node> dml_statement other_statement call_statement
%type <node> positioned_delete searched_delete insert_statement insert_source insert_columns_opt
%type <node> positioned_update searched_update assignment_list assignment select_statement
%type <node> query_spec set_quantifier select_prefix percent_opt ties_opt select_list select_item
%type <node> star_name as_opt query_tail where_opt where_clause group_by_opt column_list having_opt
%type <node> union_opt union_clause order_by_opt order_by_clause order_item_list order_item
%type <node> direction_opt table_list table_item table_ref derived_table joined_table join_kind
%type <node> join_side outer_opt table_name correlation_name cursor_name column_ref column_name
%type <node> column_alias condition predicate old_join_predicate comparison between like
%type <node> like_pattern like_escape_opt null_test in_predicate value_list value
%type <node> quantified_comparison quantifier exists subquery expression term factor primary
%type <node> aggregate_call literal integer simple_case simple_when_list simple_when searched_case
%type <node> searched_when_list searched_when datetime_escape date_escape time_escape
%type <node> timestamp_escape outer_join_escape function_escape function_call argument_list
%type <node> esc_open esc_close

%start sql

%%

/* ---- statements ---- */

/* Semicolons that end the text are not part of the statement. */
sql
  : dml_statement end_opt               { ctx->root = $1; }
  | other_statement                     { ctx->root = $1; }
  | call_statement                      { ctx->root = $1; }
  ;

end_opt
  : %empty
  | end_opt ';'
  ;

dml_statement
  : select_statement | positioned_delete | searched_delete
  | insert_statement | positioned_update | searched_update
  ;

other_statement : OTHERSTMT             { $$ = L(0, ""); CHECK($$); } ;
call_statement  : CALLESC               { $$ = L(61, ""); CHECK($$); } ;

positioned_delete
  : DELETE FROM table_name WHERE CURRENT OF cursor_name
      { $$ = N(18, T("DELETE FROM $1 WHERE CURRENT OF $2"), $3, $7); CHECK($$); }
  ;
searched_delete
  : DELETE FROM table_name where_opt    { $$ = N(19, T("DELETE FROM $1 $2"), $3, $4); CHECK($$); }
  ;
insert_statement
  : INSERT INTO table_name insert_columns_opt insert_source
      { $$ = N(28, T("INSERT INTO $1 $2 $3"), $3, $4, $5); CHECK($$); }
  ;
insert_source
  : VALUES '(' value_list ')'           { $$ = N(100, T("VALUES ( $1 )"), $3); CHECK($$); }
  | query_spec                          { $$ = N(100, T("$1"), $1); CHECK($$); }
  ;
insert_columns_opt
  : %empty                              { $$ = L(45, ""); CHECK($$); }
  | '(' column_list ')'                 { $$ = N(45, T("( $1 )"), $2); CHECK($$); }
  ;
positioned_update
  : UPDATE table_name SET assignment_list WHERE CURRENT OF cursor_name
      { $$ = N(96, T("UPDATE $1 SET $2 WHERE CURRENT OF $3"), $2, $4, $8); CHECK($$); }
  ;
searched_update
  : UPDATE table_name FROM table_list SET assignment_list where_opt
      { $$ = N(97, T("UPDATE $1 FROM $2 SET $3 $4"), $2, $4, $6, $7); CHECK($$); }
  | UPDATE table_name SET assignment_list FROM table_list where_opt
      { $$ = N(97, T("UPDATE $1 SET $2 FROM $3 $4"), $2, $4, $6, $7); CHECK($$); }
  | UPDATE table_name SET assignment_list where_opt
      { $$ = N(97, T("UPDATE $1 SET $2 $3"), $2, $4, $5); CHECK($$); }
  ;
assignment_list
  : assignment                          { $$ = N(5, T("$1"), $1); CHECK($$); }
  | assignment_list ',' assignment      { $$ = scrs::appendToList(ctx, $1, $3, 5); CHECK($$); }
  ;
/* The operator is kept as written: "SET a < 1" is not silently an assignment. */
assignment
  : column_name COMPARISON expression   { $$ = scrs::mkOpNode(ctx, 4, $2, $1, $3); CHECK($$); }
  | column_name COMPARISON NULL         { $$ = scrs::mkOpNode(ctx, 4, $2, $1, nullptr); CHECK($$); }
  ;
select_statement
  : query_spec order_by_opt             { $$ = N(74, T("$1 $2"), $1, $2); CHECK($$); }
  ;

/* ---- query (SELECT ... FROM ...) ---- */

query_spec
  : SELECT select_prefix select_list query_tail
      { $$ = N(72, T("SELECT $1 $2 $3"), $2, $3, $4); CHECK($$); }
  ;
set_quantifier
  : %empty                              { $$ = L(42, ""); CHECK($$); }
  | ALL                                 { $$ = L(42, "ALL"); CHECK($$); }
  | DISTINCT                            { $$ = L(42, "DISTINCT"); CHECK($$); }
  ;
select_prefix
  : set_quantifier                      { $$ = N(53, T("$1"), $1); CHECK($$); }
  | set_quantifier TOP integer percent_opt ties_opt
      { $$ = N(53, T("$1 TOP $2 $3 $4"), $1, $3, $4, $5); CHECK($$); }
  | set_quantifier TOP integer ',' integer percent_opt ties_opt
      { $$ = N(53, T("$1 TOP $2,$3 $4 $5"), $1, $3, $5, $6, $7); CHECK($$); }
  | set_quantifier TOP '(' expression ')' percent_opt ties_opt
      { $$ = N(53, T("$1 TOP ($2) $3 $4"), $1, $4, $6, $7); CHECK($$); }
  | set_quantifier TOP '(' expression ',' expression ')' percent_opt ties_opt
      { $$ = N(53, T("$1 TOP ($2, $3) $4 $5"), $1, $4, $6, $8, $9); CHECK($$); }
  ;
percent_opt
  : %empty                              { $$ = L(53, ""); CHECK($$); }
  | PERCENT                             { $$ = L(53, "PERCENT"); CHECK($$); }
  ;
ties_opt
  : %empty                              { $$ = L(53, ""); CHECK($$); }
  | WITH TIES                           { $$ = L(53, "WITH TIES"); CHECK($$); }
  ;
select_list
  : select_item                         { $$ = N(73, T("$1"), $1); CHECK($$); }
  | select_list ',' select_item         { $$ = scrs::appendToList(ctx, $1, $3, 73); CHECK($$); }
  | '*'                                 { $$ = L(73, "*"); CHECK($$); }
  ;
select_item
  : expression                          { $$ = N(75, T("$1"), $1); CHECK($$); }
  | expression as_opt column_alias      { $$ = N(75, T("$1 $2 $3"), $1, $2, $3); CHECK($$); }
  | star_name                           { $$ = N(75, T("$1.*"), $1); CHECK($$); }
  ;
/* An all-columns item of one table (t.*, own.t.*, db:own.t.* ...): the
   table's name. */
star_name
  : IDENT '.' '*'
      { PT_NODE *t; t = L(87, $1); $$ = N(88, T("$1"), t); CHECK($$); }
  | IDENT '.' IDENT '.' '*'
      { PT_NODE *o, *t; o = L(57, $1); t = L(87, $3); $$ = N(88, T("$1.$2"), o, t); CHECK($$); }
  | IDENT '.' IDENT '.' IDENT '.' '*'
      { PT_NODE *d, *o, *t; d = L(63, $1); o = L(57, $3); t = L(87, $5);
        $$ = N(88, T("$1.$2.$3"), d, o, t); CHECK($$); }
  | IDENT '.' '.' IDENT '.' '*'
      { PT_NODE *d, *t; d = L(63, $1); t = L(88, $4); $$ = N(88, T("$1..$2"), d, t); CHECK($$); }
  | IDENT ':' IDENT '.' '*'
      { PT_NODE *d, *t; d = L(63, $1); t = L(88, $3); $$ = N(88, T("$1:$2"), d, t); CHECK($$); }
  | IDENT ':' IDENT '.' IDENT '.' '*'
      { PT_NODE *d, *o, *t; d = L(63, $1); o = L(57, $3); t = L(87, $5);
        $$ = N(88, T("$1:$2.$3"), d, o, t); CHECK($$); }
  | IDENT '@' IDENT ':' IDENT '.' IDENT '.' '*'
      { PT_NODE *db, *sv, *d, *o, *t; db = L(64, $1); sv = L(64, $3); d = N(63, T("$1@$2"), db, sv);
        o = L(57, $5); t = L(87, $7); $$ = N(88, T("$1:$2.$3"), d, o, t); CHECK($$); }
  | IDENT '@' IDENT ':' IDENT '.' '*'
      { PT_NODE *db, *sv, *d, *t; db = L(64, $1); sv = L(64, $3); d = N(63, T("$1@$2"), db, sv);
        t = L(87, $5); $$ = N(88, T("$1:$2"), d, t); CHECK($$); }
  ;
as_opt
  : %empty                              { $$ = L(43, ""); CHECK($$); }
  | AS                                  { $$ = L(43, "AS"); CHECK($$); }
  ;
query_tail
  : FROM table_list where_opt group_by_opt having_opt union_opt order_by_opt
      { $$ = N(86, T("FROM $1 $2 $3 $4 $5 $6"), $2, $3, $4, $5, $6, $7); CHECK($$); }
  | where_opt group_by_opt having_opt union_opt order_by_opt
      { $$ = N(86, T("$1 $2 $3 $4 $5"), $1, $2, $3, $4, $5); CHECK($$); }
  ;
where_opt
  : %empty                              { $$ = L(54, ""); CHECK($$); }
  | where_clause                        { $$ = N(54, T("$1"), $1); CHECK($$); }
  ;
where_clause : WHERE condition          { $$ = N(101, T("WHERE $1"), $2); CHECK($$); } ;
group_by_opt
  : %empty                              { $$ = L(47, ""); CHECK($$); }
  | GROUP BY column_list                { $$ = N(47, T("GROUP BY $1"), $3); CHECK($$); }
  ;
column_list
  : column_ref                          { $$ = N(12, T("$1"), $1); CHECK($$); }
  | column_list ',' column_ref          { $$ = scrs::appendToList(ctx, $1, $3, 12); CHECK($$); }
  ;
having_opt
  : %empty                              { $$ = L(48, ""); CHECK($$); }
  | HAVING condition                    { $$ = N(48, T("HAVING $1"), $2); CHECK($$); }
  ;
union_opt
  : %empty                              { $$ = L(52, ""); CHECK($$); }
  | union_clause                        { $$ = N(52, T("$1"), $1); CHECK($$); }
  ;
union_clause
  : UNION query_spec                    { $$ = N(94, T("UNION $1"), $2); CHECK($$); }
  | UNION ALL query_spec                { $$ = N(94, T("UNION ALL $1"), $3); CHECK($$); }
  ;
order_by_opt
  : %empty                              { $$ = L(50, ""); CHECK($$); }
  | order_by_clause                     { $$ = N(50, T("$1"), $1); CHECK($$); }
  ;
order_by_clause : ORDER BY order_item_list  { $$ = N(55, T("ORDER BY $1"), $3); CHECK($$); } ;
order_item_list
  : order_item                          { $$ = N(81, T("$1"), $1); CHECK($$); }
  | order_item_list ',' order_item      { $$ = scrs::appendToList(ctx, $1, $3, 81); CHECK($$); }
  ;
order_item
  : integer direction_opt               { $$ = N(80, T("$1 $2"), $1, $2); CHECK($$); }
  | column_ref direction_opt            { $$ = N(80, T("$1 $2"), $1, $2); CHECK($$); }
  ;
direction_opt
  : %empty                              { $$ = L(44, ""); CHECK($$); }
  | ASC                                 { $$ = L(44, "ASC"); CHECK($$); }
  | DESC                                { $$ = L(44, "DESC"); CHECK($$); }
  ;

/* ---- tables ---- */

table_list
  : table_item                          { $$ = N(90, T("$1"), $1); CHECK($$); }
  | table_list ',' table_item           { $$ = scrs::appendToList(ctx, $1, $3, 90); CHECK($$); }
  ;
table_item
  : table_ref                           { $$ = N(89, T("$1"), $1); CHECK($$); }
  | outer_join_escape                   { $$ = N(89, T("$1"), $1); CHECK($$); }
  | derived_table                       { $$ = N(89, T("$1"), $1); CHECK($$); }
  ;
table_ref
  : table_name                          { $$ = N(46, T("$1"), $1); CHECK($$); }
  | table_name as_opt correlation_name  { $$ = N(46, T("$1 $2 $3"), $1, $2, $3); CHECK($$); }
  ;
derived_table
  : joined_table                        { $$ = N(29, T("$1"), $1); CHECK($$); }
  /* An ORDER BY after a derived table's name orders the enclosing query, so
     the derived table's own ORDER BY holder stays empty. */
  | '(' query_spec ')' as_opt correlation_name
      { PT_NODE* o = L(50, ""); $$ = N(29, T("( $1 ) $2 $3 $4"), $2, $4, $5, o); CHECK($$); }
  | '(' derived_table ')'               { $$ = N(29, T("( $1 )"), $2); CHECK($$); }
  ;
joined_table
  : table_item join_kind JOIN table_item ON condition
      { $$ = N(62, T("$1 $2 JOIN $3 ON $4"), $1, $2, $4, $6); CHECK($$); }
  ;
join_kind
  : INNER                               { PT_NODE* k; k = L(27, "INNER"); $$ = N(30, T("$1"), k); CHECK($$); }
  | join_side outer_opt                 { $$ = N(30, T("$1 $2"), $1, $2); CHECK($$); }
  ;
join_side
  : LEFT                                { $$ = L(56, "LEFT"); CHECK($$); }
  | RIGHT                               { $$ = L(56, "RIGHT"); CHECK($$); }
  | FULL                                { $$ = L(56, "FULL"); CHECK($$); }
  ;
outer_opt
  : %empty                              { $$ = L(51, ""); CHECK($$); }
  | OUTER                               { $$ = L(51, "OUTER"); CHECK($$); }
  ;
table_name
  : IDENT
      { PT_NODE* t; t = L(87, $1); $$ = N(88, T("$1"), t); CHECK($$); }
  | IDENT '.' IDENT
      { PT_NODE *d, *t; d = L(63, $1); t = L(87, $3); $$ = N(88, T("$1.$2"), d, t); CHECK($$); }
  | IDENT '.' '.' IDENT
      { PT_NODE *d, *t; d = L(63, $1); t = L(87, $4); $$ = N(88, T("$1..$2"), d, t); CHECK($$); }
  | IDENT '.' IDENT '.' IDENT
      { PT_NODE *d, *o, *t; d = L(63, $1); o = L(57, $3); t = L(87, $5);
        $$ = N(88, T("$1.$2.$3"), d, o, t); CHECK($$); }
  | IDENT '@' IDENT
      { PT_NODE *t, *d; t = L(87, $1); d = L(63, $3); $$ = N(88, T("$1@$2"), t, d); CHECK($$); }
  | IDENT '.' IDENT '@' IDENT
      { PT_NODE *o, *t, *d; o = L(57, $1); t = L(87, $3); d = L(63, $5);
        $$ = N(88, T("$1.$2@$3"), o, t, d); CHECK($$); }
  | IDENT ':' IDENT
      { PT_NODE *d, *t; d = L(63, $1); t = L(87, $3); $$ = N(88, T("$1:$2"), d, t); CHECK($$); }
  | IDENT '@' IDENT ':' IDENT
      { PT_NODE *db, *sv, *d, *t; db = L(64, $1); sv = L(64, $3); d = N(63, T("$1@$2"), db, sv);
        t = L(87, $5); $$ = N(88, T("$1:$2"), d, t); CHECK($$); }
  | IDENT ':' IDENT '.' IDENT
      { PT_NODE *d, *o, *t; d = L(63, $1); o = L(57, $3); t = L(87, $5);
        $$ = N(88, T("$1:$2.$3"), d, o, t); CHECK($$); }
  | IDENT '@' IDENT ':' IDENT '.' IDENT
      { PT_NODE *db, *sv, *d, *o, *t; db = L(64, $1); sv = L(64, $3); d = N(63, T("$1@$2"), db, sv);
        o = L(57, $5); t = L(87, $7); $$ = N(88, T("$1:$2.$3"), d, o, t); CHECK($$); }
  ;
correlation_name : IDENT                { $$ = L(15, $1); CHECK($$); } ;
cursor_name      : IDENT                { $$ = L(16, $1); CHECK($$); } ;

column_ref
  : column_name                         { $$ = N(11, T("$1"), $1); CHECK($$); }
  | IDENT '.' IDENT
      { PT_NODE *t, *c; t = L(87, $1); c = L(10, $3); $$ = N(11, T("$1.$2"), t, c); CHECK($$); }
  | IDENT '.' IDENT '.' IDENT
      { PT_NODE *o, *t, *c; o = L(57, $1); t = L(87, $3); c = L(10, $5);
        $$ = N(11, T("$1.$2.$3"), o, t, c); CHECK($$); }
  ;
column_name  : IDENT                    { $$ = L(10, $1); CHECK($$); } ;
column_alias : IDENT                    { $$ = L(9, $1); CHECK($$); } ;

/* ---- conditions ---- */

condition
  : %empty                              { $$ = L(68, ""); CHECK($$); }
  | condition OR condition              { $$ = N(68, T("$1 OR $2"), $1, $3); CHECK($$); }
  | condition AND condition             { $$ = N(68, T("$1 AND $2"), $1, $3); CHECK($$); }
  | NOT condition                       { $$ = N(68, T("NOT $1"), $2); CHECK($$); }
  | '(' condition ')'                   { $$ = N(68, T("( $1 )"), $2); CHECK($$); }
  | predicate                           { $$ = N(68, T("$1"), $1); CHECK($$); }
  ;
predicate
  : comparison                          { $$ = N(59, T("$1"), $1); CHECK($$); }
  | between                             { $$ = N(59, T("$1"), $1); CHECK($$); }
  | like                                { $$ = N(59, T("$1"), $1); CHECK($$); }
  | null_test                           { $$ = N(59, T("$1"), $1); CHECK($$); }
  | in_predicate                        { $$ = N(59, T("$1"), $1); CHECK($$); }
  | quantified_comparison               { $$ = N(59, T("$1"), $1); CHECK($$); }
  | exists                              { $$ = N(59, T("$1"), $1); CHECK($$); }
  | old_join_predicate                  { $$ = N(59, T("$1"), $1); CHECK($$); }
  ;
old_join_predicate
  : column_ref OLDJOIN column_ref
      { PT_NODE* op; op = L(56, $2); $$ = N(84, T("$1 $2 $3"), $1, op, $3); CHECK($$); }
  ;
comparison
  : expression COMPARISON expression
      { PT_NODE* op; op = L(13, $2); $$ = N(14, T("$1 $2 $3"), $1, op, $3); CHECK($$); }
  ;
between
  : expression BETWEEN expression AND expression
      { $$ = N(6, T("$1 BETWEEN $2 AND $3"), $1, $3, $5); CHECK($$); }
  | expression NOT BETWEEN expression AND expression
      { $$ = N(6, T("$1 NOT BETWEEN $2 AND $3"), $1, $4, $6); CHECK($$); }
  ;
like
  : expression LIKE like_pattern like_escape_opt
      { $$ = N(31, T("$1 LIKE $2 $3"), $1, $3, $4); CHECK($$); }
  | expression NOT LIKE like_pattern like_escape_opt
      { $$ = N(31, T("$1 NOT LIKE $2 $3"), $1, $4, $5); CHECK($$); }
  ;
like_pattern
  : PARAM                               { PT_NODE* q; q = L(20, "?"); $$ = N(58, T("$1"), q); CHECK($$); }
  | STRING                              { $$ = L(58, $1); CHECK($$); }
  | USER                                { $$ = L(58, "USER"); CHECK($$); }
  ;
like_escape_opt
  : %empty                              { $$ = L(49, ""); CHECK($$); }
  | ESCAPECLAUSE                        { PT_NODE* e; e = L(21, $1); $$ = N(49, T("$1"), e); CHECK($$); }
  | esc_open ESCAPECLAUSE esc_close
      { PT_NODE* e; e = L(21, $2);
        $$ = N(49, T("$1 $2 $3"), $1, e, $3); CHECK($$); }
  ;
null_test
  : column_ref IS NULL                  { $$ = N(33, T("$1 IS NULL"), $1); CHECK($$); }
  | value IS NULL                       { $$ = N(33, T("$1 IS NULL"), $1); CHECK($$); }
  | column_ref IS NOT NULL              { $$ = N(33, T("$1 IS NOT NULL"), $1); CHECK($$); }
  | value IS NOT NULL                   { $$ = N(33, T("$1 IS NOT NULL"), $1); CHECK($$); }
  ;
in_predicate
  : expression IN subquery              { $$ = N(26, T("$1 IN $2"), $1, $3); CHECK($$); }
  | expression NOT IN subquery          { $$ = N(26, T("$1 NOT IN $2"), $1, $4); CHECK($$); }
  | expression IN '(' value_list ')'    { $$ = N(26, T("$1 IN ( $2 )"), $1, $4); CHECK($$); }
  | expression NOT IN '(' value_list ')'  { $$ = N(26, T("$1 NOT IN ( $2 )"), $1, $5); CHECK($$); }
  ;
value_list
  : value                               { $$ = N(99, T("$1"), $1); CHECK($$); }
  | value_list ',' value                { $$ = scrs::appendToList(ctx, $1, $3, 99); CHECK($$); }
  ;
value
  : PARAM                               { PT_NODE* q; q = L(20, "?"); $$ = N(98, T("$1"), q); CHECK($$); }
  | literal                             { $$ = N(98, T("$1"), $1); CHECK($$); }
  | USER                                { $$ = L(98, "USER"); CHECK($$); }
  ;
quantified_comparison
  : expression COMPARISON quantifier subquery
      { PT_NODE* op; op = L(13, $2); $$ = N(66, T("$1 $2 $3 $4"), $1, op, $3, $4); CHECK($$); }
  ;
quantifier
  : ANY                                 { $$ = L(2, "ANY"); CHECK($$); }
  | ALL                                 { $$ = L(2, "ALL"); CHECK($$); }
  ;
exists : EXISTS subquery                { $$ = N(22, T("EXISTS $1"), $2); CHECK($$); } ;
subquery
  : '(' SELECT set_quantifier select_list FROM table_list where_opt group_by_opt having_opt ')'
      { $$ = N(85, T("( SELECT $1 $2 FROM $3 $4 $5 $6 )"), $3, $4, $6, $7, $8, $9); CHECK($$); }
  ;

/* ---- expressions ---- */

expression
  : term                                { $$ = N(23, T("$1"), $1); CHECK($$); }
  | expression CONCAT term              { $$ = N(23, T("$1 || $2"), $1, $3); CHECK($$); }
  | expression '+' term                 { $$ = N(23, T("$1 + $2"), $1, $3); CHECK($$); }
  | expression '-' term                 { $$ = N(23, T("$1 - $2"), $1, $3); CHECK($$); }
  | simple_case                         { $$ = N(23, T("$1"), $1); CHECK($$); }
  | searched_case                       { $$ = N(23, T("$1"), $1); CHECK($$); }
  ;
term
  : factor                              { $$ = N(91, T("$1"), $1); CHECK($$); }
  | term '*' factor                     { $$ = N(91, T("$1 * $2"), $1, $3); CHECK($$); }
  | term '/' factor                     { $$ = N(91, T("$1 / $2"), $1, $3); CHECK($$); }
  ;
factor
  : primary                             { $$ = N(24, T("$1"), $1); CHECK($$); }
  | '+' primary                         { $$ = N(24, T("+$1"), $2); CHECK($$); }
  | '-' primary                         { $$ = N(24, T("-$1"), $2); CHECK($$); }
  ;
primary
  : column_ref                          { $$ = N(60, T("$1"), $1); CHECK($$); }
  | PARAM                               { PT_NODE* q; q = L(20, "?"); $$ = N(60, T("$1"), q); CHECK($$); }
  | literal                             { $$ = N(60, T("$1"), $1); CHECK($$); }
  | function_escape                     { $$ = N(60, T("$1"), $1); CHECK($$); }
  | function_call                       { $$ = N(60, T("$1"), $1); CHECK($$); }
  | aggregate_call                      { $$ = N(60, T("$1"), $1); CHECK($$); }
  | subquery                            { $$ = N(60, T("$1"), $1); CHECK($$); }
  | USER                                { $$ = L(60, "USER"); CHECK($$); }
  | '(' expression ')'                  { $$ = N(60, T("( $1 )"), $2); CHECK($$); }
  ;
/* The function's name is kept as written: only COUNT counts rows. */
aggregate_call
  : AGGREGATE '(' '*' ')'               { $$ = scrs::mkCountStar(ctx, $1); CHECK($$); }
  | AGGREGATE '(' DISTINCT column_ref ')'
      { PT_NODE* f; f = L(1, $1);
        $$ = N(76, T("$1( DISTINCT $2 )"), f, $4); CHECK($$); }
  | AGGREGATE '(' expression ')'
      { PT_NODE* f; f = L(1, $1);
        $$ = N(76, T("$1( $2 )"), f, $3); CHECK($$); }
  ;
literal
  : STRING                              { $$ = L(32, $1); CHECK($$); }
  | DECNUM                              { $$ = L(32, $1); CHECK($$); }
  | REALNUM                             { $$ = L(32, $1); CHECK($$); }
  | INTNUM                              { PT_NODE* i; i = L(95, $1); $$ = N(32, T("$1"), i); CHECK($$); }
  | HEXNUM                              { $$ = L(7, $1); CHECK($$); }
  | datetime_escape                     { $$ = N(32, T("$1"), $1); CHECK($$); }
  ;
integer : INTNUM                        { $$ = L(95, $1); CHECK($$); } ;

simple_case
  : CASE expression simple_when_list END  { $$ = N(77, T("CASE $1 $2 END"), $2, $3); CHECK($$); }
  ;
simple_when_list
  : simple_when                         { $$ = N(78, T("$1"), $1); CHECK($$); }
  | simple_when_list simple_when        { $$ = N(78, T("$1 $2"), $1, $2); CHECK($$); }
  ;
simple_when
  : WHEN expression THEN expression     { $$ = N(79, T("WHEN $1 THEN $2"), $2, $4); CHECK($$); }
  | ELSE expression                     { $$ = N(79, T("ELSE $1"), $2); CHECK($$); }
  ;
searched_case
  : CASE searched_when_list END         { $$ = N(69, T("CASE $1 END"), $2); CHECK($$); }
  ;
searched_when_list
  : searched_when                       { $$ = N(70, T("$1"), $1); CHECK($$); }
  | searched_when_list searched_when    { $$ = N(70, T("$1 $2"), $1, $2); CHECK($$); }
  ;
searched_when
  : WHEN condition THEN expression      { $$ = N(71, T("WHEN $1 THEN $2"), $2, $4); CHECK($$); }
  | ELSE expression                     { $$ = N(71, T("ELSE $1"), $2); CHECK($$); }
  ;

/* ---- ODBC escape clauses ---- */

esc_open
  : ESCOPEN                             { $$ = L(36, "{"); CHECK($$); }
  | VENDOROPEN                          { $$ = L(36, " --(* VENDOR(Microsoft), PRODUCT(ODBC) "); CHECK($$); }
  ;
esc_close
  : ESCCLOSE                            { $$ = L(37, "}"); CHECK($$); }
  | VENDORCLOSE                         { $$ = L(37, " *)--"); CHECK($$); }
  ;
datetime_escape
  : date_escape                         { $$ = N(35, T("$1"), $1); CHECK($$); }
  | time_escape                         { $$ = N(35, T("$1"), $1); CHECK($$); }
  | timestamp_escape                    { $$ = N(35, T("$1"), $1); CHECK($$); }
  ;
date_escape
  : esc_open DATELIT esc_close
      { PT_NODE* l; l = L(17, $2);
        $$ = N(34, T("$1 $2 $3"), $1, l, $3); CHECK($$); }
  ;
time_escape
  : esc_open TIMELIT esc_close
      { PT_NODE* l; l = L(92, $2);
        $$ = N(40, T("$1 $2 $3"), $1, l, $3); CHECK($$); }
  ;
timestamp_escape
  : esc_open TSLIT esc_close
      { PT_NODE* l; l = L(93, $2);
        $$ = N(41, T("$1 $2 $3"), $1, l, $3); CHECK($$); }
  ;
outer_join_escape
  : esc_open OJ joined_table esc_close  { $$ = N(38, T("$1 oj $2 $3"), $1, $3, $4); CHECK($$); }
  ;
function_escape
  : esc_open FN function_call esc_close { $$ = N(39, T("$1 fn $2 $3"), $1, $3, $4); CHECK($$); }
  ;
function_call
  : IDENT '(' argument_list ')'
      { PT_NODE* f; f = L(25, $1);
        $$ = N(67, T("$1( $2 )"), f, $3); CHECK($$); }
  ;
argument_list
  : %empty                              { $$ = L(3, ""); CHECK($$); }
  | expression                          { $$ = N(3, T("$1"), $1); CHECK($$); }
  | expression ',' argument_list        { $$ = N(3, T("$1, $2"), $1, $3); CHECK($$); }
  | expression FROM expression          { $$ = N(3, T("$1 FROM $2"), $1, $3); CHECK($$); }
  | expression IN expression            { $$ = N(3, T("$1 IN $2"), $1, $3); CHECK($$); }
  ;

%%
