/* Grammar of the SQL analyser. Every production builds one
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
#include "sqlan/ptree.h"
namespace scrs { struct ScParse; }
}

%union {
  const char* str;
  PT_NODE* node;
}

%code {
#include "sqlan/sqlparse.h"
#include "sqlan/sqltmpl.h"
#include "sqlan/sqlnodes.h"

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
%token ORDER FULL LEFT RIGHT INNER FORUPDATE
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
%type <node> esc_open esc_close for_update_opt

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

other_statement : OTHERSTMT             { $$ = L(SQLN_OTHER_STATEMENT, ""); CHECK($$); } ;
call_statement  : CALLESC               { $$ = L(SQLN_CALL, ""); CHECK($$); } ;

positioned_delete
  : DELETE FROM table_name WHERE CURRENT OF cursor_name
      { $$ = N(SQLN_POSITIONED_DELETE, T("DELETE FROM $1 WHERE CURRENT OF $2"), $3, $7);
        CHECK($$); }
  ;
searched_delete
  : DELETE FROM table_name where_opt
      { $$ = N(SQLN_SEARCHED_DELETE, T("DELETE FROM $1 $2"), $3, $4); CHECK($$); }
  ;
insert_statement
  : INSERT INTO table_name insert_columns_opt insert_source
      { $$ = N(SQLN_INSERT, T("INSERT INTO $1 $2 $3"), $3, $4, $5); CHECK($$); }
  ;
insert_source
  : VALUES '(' value_list ')'
      { $$ = N(SQLN_INSERT_SOURCE, T("VALUES ( $1 )"), $3); CHECK($$); }
  | query_spec                          { $$ = N(SQLN_INSERT_SOURCE, T("$1"), $1); CHECK($$); }
  ;
insert_columns_opt
  : %empty                              { $$ = L(SQLN_INSERT_COLUMNS_OPT, ""); CHECK($$); }
  | '(' column_list ')'
      { $$ = N(SQLN_INSERT_COLUMNS_OPT, T("( $1 )"), $2); CHECK($$); }
  ;
positioned_update
  : UPDATE table_name SET assignment_list WHERE CURRENT OF cursor_name
      { $$ = N(SQLN_POSITIONED_UPDATE, T("UPDATE $1 SET $2 WHERE CURRENT OF $3"), $2, $4, $8);
        CHECK($$); }
  ;
searched_update
  : UPDATE table_name FROM table_list SET assignment_list where_opt
      { $$ = N(SQLN_SEARCHED_UPDATE, T("UPDATE $1 FROM $2 SET $3 $4"), $2, $4, $6, $7); CHECK($$); }
  | UPDATE table_name SET assignment_list FROM table_list where_opt
      { $$ = N(SQLN_SEARCHED_UPDATE, T("UPDATE $1 SET $2 FROM $3 $4"), $2, $4, $6, $7); CHECK($$); }
  | UPDATE table_name SET assignment_list where_opt
      { $$ = N(SQLN_SEARCHED_UPDATE, T("UPDATE $1 SET $2 $3"), $2, $4, $5); CHECK($$); }
  ;
assignment_list
  : assignment                          { $$ = N(SQLN_ASSIGNMENT_LIST, T("$1"), $1); CHECK($$); }
  | assignment_list ',' assignment
      { $$ = scrs::appendToList(ctx, $1, $3, SQLN_ASSIGNMENT_LIST); CHECK($$); }
  ;
/* The operator is kept as written: "SET a < 1" is not silently an assignment. */
assignment
  : column_name COMPARISON expression
      { $$ = scrs::mkOpNode(ctx, SQLN_ASSIGNMENT, $2, $1, $3); CHECK($$); }
  | column_name COMPARISON NULL
      { $$ = scrs::mkOpNode(ctx, SQLN_ASSIGNMENT, $2, $1, nullptr); CHECK($$); }
  ;
select_statement
  : query_spec order_by_opt for_update_opt
      { $$ = N(SQLN_SELECT, T("$1 $2$3"), $1, $2, $3); CHECK($$); }
  ;
/* The rows read are locked for a change; OF names columns (tables on
   PostgreSQL), kept as written. Absent, it adds nothing to the text. */
for_update_opt
  : %empty                              { $$ = L(SQLN_FOR_UPDATE_OPT, ""); CHECK($$); }
  | FORUPDATE                           { $$ = L(SQLN_FOR_UPDATE_OPT, " FOR UPDATE"); CHECK($$); }
  | FORUPDATE OF column_list
      { $$ = N(SQLN_FOR_UPDATE_OPT, T(" FOR UPDATE OF $1"), $3); CHECK($$); }
  ;

/* ---- query (SELECT ... FROM ...) ---- */

query_spec
  : SELECT select_prefix select_list query_tail
      { $$ = N(SQLN_QUERY, T("SELECT $1 $2 $3"), $2, $3, $4); CHECK($$); }
  ;
set_quantifier
  : %empty                              { $$ = L(SQLN_SET_QUANTIFIER, ""); CHECK($$); }
  | ALL                                 { $$ = L(SQLN_SET_QUANTIFIER, "ALL"); CHECK($$); }
  | DISTINCT                            { $$ = L(SQLN_SET_QUANTIFIER, "DISTINCT"); CHECK($$); }
  ;
select_prefix
  : set_quantifier                      { $$ = N(SQLN_SELECT_PREFIX, T("$1"), $1); CHECK($$); }
  | set_quantifier TOP integer percent_opt ties_opt
      { $$ = N(SQLN_SELECT_PREFIX, T("$1 TOP $2 $3 $4"), $1, $3, $4, $5); CHECK($$); }
  | set_quantifier TOP integer ',' integer percent_opt ties_opt
      { $$ = N(SQLN_SELECT_PREFIX, T("$1 TOP $2,$3 $4 $5"), $1, $3, $5, $6, $7); CHECK($$); }
  | set_quantifier TOP '(' expression ')' percent_opt ties_opt
      { $$ = N(SQLN_SELECT_PREFIX, T("$1 TOP ($2) $3 $4"), $1, $4, $6, $7); CHECK($$); }
  | set_quantifier TOP '(' expression ',' expression ')' percent_opt ties_opt
      { $$ = N(SQLN_SELECT_PREFIX, T("$1 TOP ($2, $3) $4 $5"), $1, $4, $6, $8, $9); CHECK($$); }
  ;
percent_opt
  : %empty                              { $$ = L(SQLN_SELECT_PREFIX, ""); CHECK($$); }
  | PERCENT                             { $$ = L(SQLN_SELECT_PREFIX, "PERCENT"); CHECK($$); }
  ;
ties_opt
  : %empty                              { $$ = L(SQLN_SELECT_PREFIX, ""); CHECK($$); }
  | WITH TIES                           { $$ = L(SQLN_SELECT_PREFIX, "WITH TIES"); CHECK($$); }
  ;
select_list
  : select_item                         { $$ = N(SQLN_SELECT_LIST, T("$1"), $1); CHECK($$); }
  | select_list ',' select_item
      { $$ = scrs::appendToList(ctx, $1, $3, SQLN_SELECT_LIST); CHECK($$); }
  | '*'                                 { $$ = L(SQLN_SELECT_LIST, "*"); CHECK($$); }
  ;
select_item
  : expression                          { $$ = N(SQLN_SELECT_ITEM, T("$1"), $1); CHECK($$); }
  | expression as_opt column_alias
      { $$ = N(SQLN_SELECT_ITEM, T("$1 $2 $3"), $1, $2, $3); CHECK($$); }
  | star_name                           { $$ = N(SQLN_SELECT_ITEM, T("$1.*"), $1); CHECK($$); }
  ;
/* An all-columns item of one table (t.*, own.t.*, db:own.t.* ...): the
   table's name. */
star_name
  : IDENT '.' '*'
      { PT_NODE *t; t = L(SQLN_TABLE_IDENT, $1); $$ = N(SQLN_TABLE_NAME, T("$1"), t); CHECK($$); }
  | IDENT '.' IDENT '.' '*'
      { PT_NODE *o, *t; o = L(SQLN_OWNER_NAME, $1); t = L(SQLN_TABLE_IDENT, $3);
        $$ = N(SQLN_TABLE_NAME, T("$1.$2"), o, t); CHECK($$); }
  | IDENT '.' IDENT '.' IDENT '.' '*'
      { PT_NODE *d, *o, *t; d = L(SQLN_QUALIFIER, $1); o = L(SQLN_OWNER_NAME, $3);
        t = L(SQLN_TABLE_IDENT, $5); $$ = N(SQLN_TABLE_NAME, T("$1.$2.$3"), d, o, t); CHECK($$); }
  | IDENT '.' '.' IDENT '.' '*'
      { PT_NODE *d, *t; d = L(SQLN_QUALIFIER, $1); t = L(SQLN_TABLE_NAME, $4);
        $$ = N(SQLN_TABLE_NAME, T("$1..$2"), d, t); CHECK($$); }
  | IDENT ':' IDENT '.' '*'
      { PT_NODE *d, *t; d = L(SQLN_QUALIFIER, $1); t = L(SQLN_TABLE_NAME, $3);
        $$ = N(SQLN_TABLE_NAME, T("$1:$2"), d, t); CHECK($$); }
  | IDENT ':' IDENT '.' IDENT '.' '*'
      { PT_NODE *d, *o, *t; d = L(SQLN_QUALIFIER, $1); o = L(SQLN_OWNER_NAME, $3);
        t = L(SQLN_TABLE_IDENT, $5); $$ = N(SQLN_TABLE_NAME, T("$1:$2.$3"), d, o, t); CHECK($$); }
  | IDENT '@' IDENT ':' IDENT '.' IDENT '.' '*'
      { PT_NODE *db, *sv, *d, *o, *t; db = L(SQLN_REMOTE_PART, $1); sv = L(SQLN_REMOTE_PART, $3);
        d = N(SQLN_QUALIFIER, T("$1@$2"), db, sv); o = L(SQLN_OWNER_NAME, $5);
        t = L(SQLN_TABLE_IDENT, $7); $$ = N(SQLN_TABLE_NAME, T("$1:$2.$3"), d, o, t); CHECK($$); }
  | IDENT '@' IDENT ':' IDENT '.' '*'
      { PT_NODE *db, *sv, *d, *t; db = L(SQLN_REMOTE_PART, $1); sv = L(SQLN_REMOTE_PART, $3);
        d = N(SQLN_QUALIFIER, T("$1@$2"), db, sv); t = L(SQLN_TABLE_IDENT, $5);
        $$ = N(SQLN_TABLE_NAME, T("$1:$2"), d, t); CHECK($$); }
  ;
as_opt
  : %empty                              { $$ = L(SQLN_AS_OPT, ""); CHECK($$); }
  | AS                                  { $$ = L(SQLN_AS_OPT, "AS"); CHECK($$); }
  ;
query_tail
  : FROM table_list where_opt group_by_opt having_opt union_opt order_by_opt
      { $$ = N(SQLN_QUERY_TAIL, T("FROM $1 $2 $3 $4 $5 $6"), $2, $3, $4, $5, $6, $7); CHECK($$); }
  | where_opt group_by_opt having_opt union_opt order_by_opt
      { $$ = N(SQLN_QUERY_TAIL, T("$1 $2 $3 $4 $5"), $1, $2, $3, $4, $5); CHECK($$); }
  ;
where_opt
  : %empty                              { $$ = L(SQLN_WHERE_OPT, ""); CHECK($$); }
  | where_clause                        { $$ = N(SQLN_WHERE_OPT, T("$1"), $1); CHECK($$); }
  ;
where_clause : WHERE condition          { $$ = N(SQLN_WHERE, T("WHERE $1"), $2); CHECK($$); } ;
group_by_opt
  : %empty                              { $$ = L(SQLN_GROUP_BY_OPT, ""); CHECK($$); }
  | GROUP BY column_list
      { $$ = N(SQLN_GROUP_BY_OPT, T("GROUP BY $1"), $3); CHECK($$); }
  ;
column_list
  : column_ref                          { $$ = N(SQLN_COLUMN_LIST, T("$1"), $1); CHECK($$); }
  | column_list ',' column_ref
      { $$ = scrs::appendToList(ctx, $1, $3, SQLN_COLUMN_LIST); CHECK($$); }
  ;
having_opt
  : %empty                              { $$ = L(SQLN_HAVING_OPT, ""); CHECK($$); }
  | HAVING condition                    { $$ = N(SQLN_HAVING_OPT, T("HAVING $1"), $2); CHECK($$); }
  ;
union_opt
  : %empty                              { $$ = L(SQLN_UNION_OPT, ""); CHECK($$); }
  | union_clause                        { $$ = N(SQLN_UNION_OPT, T("$1"), $1); CHECK($$); }
  ;
union_clause
  : UNION query_spec                    { $$ = N(SQLN_UNION, T("UNION $1"), $2); CHECK($$); }
  | UNION ALL query_spec                { $$ = N(SQLN_UNION, T("UNION ALL $1"), $3); CHECK($$); }
  ;
order_by_opt
  : %empty                              { $$ = L(SQLN_ORDER_BY_OPT, ""); CHECK($$); }
  | order_by_clause                     { $$ = N(SQLN_ORDER_BY_OPT, T("$1"), $1); CHECK($$); }
  ;
order_by_clause
  : ORDER BY order_item_list            { $$ = N(SQLN_ORDER_BY, T("ORDER BY $1"), $3); CHECK($$); }
  ;
order_item_list
  : order_item                          { $$ = N(SQLN_ORDER_ITEM_LIST, T("$1"), $1); CHECK($$); }
  | order_item_list ',' order_item
      { $$ = scrs::appendToList(ctx, $1, $3, SQLN_ORDER_ITEM_LIST); CHECK($$); }
  ;
order_item
  : integer direction_opt               { $$ = N(SQLN_ORDER_ITEM, T("$1 $2"), $1, $2); CHECK($$); }
  | column_ref direction_opt            { $$ = N(SQLN_ORDER_ITEM, T("$1 $2"), $1, $2); CHECK($$); }
  ;
direction_opt
  : %empty                              { $$ = L(SQLN_DIRECTION_OPT, ""); CHECK($$); }
  | ASC                                 { $$ = L(SQLN_DIRECTION_OPT, "ASC"); CHECK($$); }
  | DESC                                { $$ = L(SQLN_DIRECTION_OPT, "DESC"); CHECK($$); }
  ;

/* ---- tables ---- */

table_list
  : table_item                          { $$ = N(SQLN_TABLE_LIST, T("$1"), $1); CHECK($$); }
  | table_list ',' table_item
      { $$ = scrs::appendToList(ctx, $1, $3, SQLN_TABLE_LIST); CHECK($$); }
  ;
table_item
  : table_ref                           { $$ = N(SQLN_TABLE_ITEM, T("$1"), $1); CHECK($$); }
  | outer_join_escape                   { $$ = N(SQLN_TABLE_ITEM, T("$1"), $1); CHECK($$); }
  | derived_table                       { $$ = N(SQLN_TABLE_ITEM, T("$1"), $1); CHECK($$); }
  ;
table_ref
  : table_name                          { $$ = N(SQLN_TABLE_REF, T("$1"), $1); CHECK($$); }
  | table_name as_opt correlation_name
      { $$ = N(SQLN_TABLE_REF, T("$1 $2 $3"), $1, $2, $3); CHECK($$); }
  ;
derived_table
  : joined_table                        { $$ = N(SQLN_DERIVED_TABLE, T("$1"), $1); CHECK($$); }
  /* An ORDER BY after a derived table's name orders the enclosing query, so
     the derived table's own ORDER BY holder stays empty. */
  | '(' query_spec ')' as_opt correlation_name
      { PT_NODE* o = L(SQLN_ORDER_BY_OPT, "");
        $$ = N(SQLN_DERIVED_TABLE, T("( $1 ) $2 $3 $4"), $2, $4, $5, o); CHECK($$); }
  | '(' derived_table ')'               { $$ = N(SQLN_DERIVED_TABLE, T("( $1 )"), $2); CHECK($$); }
  ;
joined_table
  : table_item join_kind JOIN table_item ON condition
      { $$ = N(SQLN_JOINED_TABLE, T("$1 $2 JOIN $3 ON $4"), $1, $2, $4, $6); CHECK($$); }
  ;
join_kind
  : INNER
      { PT_NODE* k; k = L(SQLN_INNER, "INNER"); $$ = N(SQLN_JOIN_KIND, T("$1"), k); CHECK($$); }
  | join_side outer_opt                 { $$ = N(SQLN_JOIN_KIND, T("$1 $2"), $1, $2); CHECK($$); }
  ;
join_side
  : LEFT                                { $$ = L(SQLN_OUTER_JOIN_SIDE, "LEFT"); CHECK($$); }
  | RIGHT                               { $$ = L(SQLN_OUTER_JOIN_SIDE, "RIGHT"); CHECK($$); }
  | FULL                                { $$ = L(SQLN_OUTER_JOIN_SIDE, "FULL"); CHECK($$); }
  ;
outer_opt
  : %empty                              { $$ = L(SQLN_OUTER_OPT, ""); CHECK($$); }
  | OUTER                               { $$ = L(SQLN_OUTER_OPT, "OUTER"); CHECK($$); }
  ;
table_name
  : IDENT
      { PT_NODE* t; t = L(SQLN_TABLE_IDENT, $1); $$ = N(SQLN_TABLE_NAME, T("$1"), t); CHECK($$); }
  | IDENT '.' IDENT
      { PT_NODE *d, *t; d = L(SQLN_QUALIFIER, $1); t = L(SQLN_TABLE_IDENT, $3);
        $$ = N(SQLN_TABLE_NAME, T("$1.$2"), d, t); CHECK($$); }
  | IDENT '.' '.' IDENT
      { PT_NODE *d, *t; d = L(SQLN_QUALIFIER, $1); t = L(SQLN_TABLE_IDENT, $4);
        $$ = N(SQLN_TABLE_NAME, T("$1..$2"), d, t); CHECK($$); }
  | IDENT '.' IDENT '.' IDENT
      { PT_NODE *d, *o, *t; d = L(SQLN_QUALIFIER, $1); o = L(SQLN_OWNER_NAME, $3);
        t = L(SQLN_TABLE_IDENT, $5); $$ = N(SQLN_TABLE_NAME, T("$1.$2.$3"), d, o, t); CHECK($$); }
  | IDENT '@' IDENT
      { PT_NODE *t, *d; t = L(SQLN_TABLE_IDENT, $1); d = L(SQLN_QUALIFIER, $3);
        $$ = N(SQLN_TABLE_NAME, T("$1@$2"), t, d); CHECK($$); }
  | IDENT '.' IDENT '@' IDENT
      { PT_NODE *o, *t, *d; o = L(SQLN_OWNER_NAME, $1); t = L(SQLN_TABLE_IDENT, $3);
        d = L(SQLN_QUALIFIER, $5); $$ = N(SQLN_TABLE_NAME, T("$1.$2@$3"), o, t, d); CHECK($$); }
  | IDENT ':' IDENT
      { PT_NODE *d, *t; d = L(SQLN_QUALIFIER, $1); t = L(SQLN_TABLE_IDENT, $3);
        $$ = N(SQLN_TABLE_NAME, T("$1:$2"), d, t); CHECK($$); }
  | IDENT '@' IDENT ':' IDENT
      { PT_NODE *db, *sv, *d, *t; db = L(SQLN_REMOTE_PART, $1); sv = L(SQLN_REMOTE_PART, $3);
        d = N(SQLN_QUALIFIER, T("$1@$2"), db, sv); t = L(SQLN_TABLE_IDENT, $5);
        $$ = N(SQLN_TABLE_NAME, T("$1:$2"), d, t); CHECK($$); }
  | IDENT ':' IDENT '.' IDENT
      { PT_NODE *d, *o, *t; d = L(SQLN_QUALIFIER, $1); o = L(SQLN_OWNER_NAME, $3);
        t = L(SQLN_TABLE_IDENT, $5); $$ = N(SQLN_TABLE_NAME, T("$1:$2.$3"), d, o, t); CHECK($$); }
  | IDENT '@' IDENT ':' IDENT '.' IDENT
      { PT_NODE *db, *sv, *d, *o, *t; db = L(SQLN_REMOTE_PART, $1); sv = L(SQLN_REMOTE_PART, $3);
        d = N(SQLN_QUALIFIER, T("$1@$2"), db, sv); o = L(SQLN_OWNER_NAME, $5);
        t = L(SQLN_TABLE_IDENT, $7); $$ = N(SQLN_TABLE_NAME, T("$1:$2.$3"), d, o, t); CHECK($$); }
  ;
correlation_name : IDENT                { $$ = L(SQLN_CORRELATION_NAME, $1); CHECK($$); } ;
cursor_name      : IDENT                { $$ = L(SQLN_CURSOR_NAME, $1); CHECK($$); } ;

column_ref
  : column_name                         { $$ = N(SQLN_COLUMN_REF, T("$1"), $1); CHECK($$); }
  | IDENT '.' IDENT
      { PT_NODE *t, *c; t = L(SQLN_TABLE_IDENT, $1); c = L(SQLN_COLUMN_NAME, $3);
        $$ = N(SQLN_COLUMN_REF, T("$1.$2"), t, c); CHECK($$); }
  | IDENT '.' IDENT '.' IDENT
      { PT_NODE *o, *t, *c; o = L(SQLN_OWNER_NAME, $1); t = L(SQLN_TABLE_IDENT, $3);
        c = L(SQLN_COLUMN_NAME, $5); $$ = N(SQLN_COLUMN_REF, T("$1.$2.$3"), o, t, c); CHECK($$); }
  ;
column_name  : IDENT                    { $$ = L(SQLN_COLUMN_NAME, $1); CHECK($$); } ;
column_alias : IDENT                    { $$ = L(SQLN_COLUMN_ALIAS, $1); CHECK($$); } ;

/* ---- conditions ---- */

condition
  : %empty                              { $$ = L(SQLN_CONDITION, ""); CHECK($$); }
  | condition OR condition
      { $$ = N(SQLN_CONDITION, T("$1 OR $2"), $1, $3); CHECK($$); }
  | condition AND condition
      { $$ = N(SQLN_CONDITION, T("$1 AND $2"), $1, $3); CHECK($$); }
  | NOT condition                       { $$ = N(SQLN_CONDITION, T("NOT $1"), $2); CHECK($$); }
  | '(' condition ')'                   { $$ = N(SQLN_CONDITION, T("( $1 )"), $2); CHECK($$); }
  | predicate                           { $$ = N(SQLN_CONDITION, T("$1"), $1); CHECK($$); }
  ;
predicate
  : comparison                          { $$ = N(SQLN_PREDICATE, T("$1"), $1); CHECK($$); }
  | between                             { $$ = N(SQLN_PREDICATE, T("$1"), $1); CHECK($$); }
  | like                                { $$ = N(SQLN_PREDICATE, T("$1"), $1); CHECK($$); }
  | null_test                           { $$ = N(SQLN_PREDICATE, T("$1"), $1); CHECK($$); }
  | in_predicate                        { $$ = N(SQLN_PREDICATE, T("$1"), $1); CHECK($$); }
  | quantified_comparison               { $$ = N(SQLN_PREDICATE, T("$1"), $1); CHECK($$); }
  | exists                              { $$ = N(SQLN_PREDICATE, T("$1"), $1); CHECK($$); }
  | old_join_predicate                  { $$ = N(SQLN_PREDICATE, T("$1"), $1); CHECK($$); }
  ;
old_join_predicate
  : column_ref OLDJOIN column_ref
      { PT_NODE* op; op = L(SQLN_OUTER_JOIN_SIDE, $2);
        $$ = N(SQLN_OLD_JOIN, T("$1 $2 $3"), $1, op, $3); CHECK($$); }
  ;
comparison
  : expression COMPARISON expression
      { PT_NODE* op; op = L(SQLN_COMPARISON_OP, $2);
        $$ = N(SQLN_COMPARISON, T("$1 $2 $3"), $1, op, $3); CHECK($$); }
  ;
between
  : expression BETWEEN expression AND expression
      { $$ = N(SQLN_BETWEEN, T("$1 BETWEEN $2 AND $3"), $1, $3, $5); CHECK($$); }
  | expression NOT BETWEEN expression AND expression
      { $$ = N(SQLN_BETWEEN, T("$1 NOT BETWEEN $2 AND $3"), $1, $4, $6); CHECK($$); }
  ;
like
  : expression LIKE like_pattern like_escape_opt
      { $$ = N(SQLN_LIKE, T("$1 LIKE $2 $3"), $1, $3, $4); CHECK($$); }
  | expression NOT LIKE like_pattern like_escape_opt
      { $$ = N(SQLN_LIKE, T("$1 NOT LIKE $2 $3"), $1, $4, $5); CHECK($$); }
  ;
like_pattern
  : PARAM
      { PT_NODE* q; q = L(SQLN_PARAM_MARKER, "?"); $$ = N(SQLN_LIKE_PATTERN, T("$1"), q);
        CHECK($$); }
  | STRING                              { $$ = L(SQLN_LIKE_PATTERN, $1); CHECK($$); }
  | USER                                { $$ = L(SQLN_LIKE_PATTERN, "USER"); CHECK($$); }
  ;
like_escape_opt
  : %empty                              { $$ = L(SQLN_LIKE_ESCAPE_OPT, ""); CHECK($$); }
  | ESCAPECLAUSE
      { PT_NODE* e; e = L(SQLN_ESCAPE_CLAUSE, $1); $$ = N(SQLN_LIKE_ESCAPE_OPT, T("$1"), e);
        CHECK($$); }
  | esc_open ESCAPECLAUSE esc_close
      { PT_NODE* e; e = L(SQLN_ESCAPE_CLAUSE, $2);
        $$ = N(SQLN_LIKE_ESCAPE_OPT, T("$1 $2 $3"), $1, e, $3); CHECK($$); }
  ;
null_test
  : column_ref IS NULL                  { $$ = N(SQLN_NULL_TEST, T("$1 IS NULL"), $1); CHECK($$); }
  | value IS NULL                       { $$ = N(SQLN_NULL_TEST, T("$1 IS NULL"), $1); CHECK($$); }
  | column_ref IS NOT NULL
      { $$ = N(SQLN_NULL_TEST, T("$1 IS NOT NULL"), $1); CHECK($$); }
  | value IS NOT NULL
      { $$ = N(SQLN_NULL_TEST, T("$1 IS NOT NULL"), $1); CHECK($$); }
  ;
in_predicate
  : expression IN subquery              { $$ = N(SQLN_IN, T("$1 IN $2"), $1, $3); CHECK($$); }
  | expression NOT IN subquery          { $$ = N(SQLN_IN, T("$1 NOT IN $2"), $1, $4); CHECK($$); }
  | expression IN '(' value_list ')'    { $$ = N(SQLN_IN, T("$1 IN ( $2 )"), $1, $4); CHECK($$); }
  | expression NOT IN '(' value_list ')'
      { $$ = N(SQLN_IN, T("$1 NOT IN ( $2 )"), $1, $5); CHECK($$); }
  ;
value_list
  : value                               { $$ = N(SQLN_VALUE_LIST, T("$1"), $1); CHECK($$); }
  | value_list ',' value
      { $$ = scrs::appendToList(ctx, $1, $3, SQLN_VALUE_LIST); CHECK($$); }
  ;
value
  : PARAM
      { PT_NODE* q; q = L(SQLN_PARAM_MARKER, "?"); $$ = N(SQLN_VALUE, T("$1"), q); CHECK($$); }
  | literal                             { $$ = N(SQLN_VALUE, T("$1"), $1); CHECK($$); }
  | USER                                { $$ = L(SQLN_VALUE, "USER"); CHECK($$); }
  ;
quantified_comparison
  : expression COMPARISON quantifier subquery
      { PT_NODE* op; op = L(SQLN_COMPARISON_OP, $2);
        $$ = N(SQLN_QUANTIFIED_COMPARISON, T("$1 $2 $3 $4"), $1, op, $3, $4); CHECK($$); }
  ;
quantifier
  : ANY                                 { $$ = L(SQLN_QUANTIFIER, "ANY"); CHECK($$); }
  | ALL                                 { $$ = L(SQLN_QUANTIFIER, "ALL"); CHECK($$); }
  ;
exists : EXISTS subquery                { $$ = N(SQLN_EXISTS, T("EXISTS $1"), $2); CHECK($$); } ;
subquery
  : '(' SELECT set_quantifier select_list FROM table_list where_opt group_by_opt having_opt ')'
      { $$ = N(SQLN_SUBQUERY, T("( SELECT $1 $2 FROM $3 $4 $5 $6 )"), $3, $4, $6, $7, $8, $9);
        CHECK($$); }
  ;

/* ---- expressions ---- */

expression
  : term                                { $$ = N(SQLN_EXPRESSION, T("$1"), $1); CHECK($$); }
  | expression CONCAT term
      { $$ = N(SQLN_EXPRESSION, T("$1 || $2"), $1, $3); CHECK($$); }
  | expression '+' term
      { $$ = N(SQLN_EXPRESSION, T("$1 + $2"), $1, $3); CHECK($$); }
  | expression '-' term
      { $$ = N(SQLN_EXPRESSION, T("$1 - $2"), $1, $3); CHECK($$); }
  | simple_case                         { $$ = N(SQLN_EXPRESSION, T("$1"), $1); CHECK($$); }
  | searched_case                       { $$ = N(SQLN_EXPRESSION, T("$1"), $1); CHECK($$); }
  ;
term
  : factor                              { $$ = N(SQLN_TERM, T("$1"), $1); CHECK($$); }
  | term '*' factor                     { $$ = N(SQLN_TERM, T("$1 * $2"), $1, $3); CHECK($$); }
  | term '/' factor                     { $$ = N(SQLN_TERM, T("$1 / $2"), $1, $3); CHECK($$); }
  ;
factor
  : primary                             { $$ = N(SQLN_FACTOR, T("$1"), $1); CHECK($$); }
  | '+' primary                         { $$ = N(SQLN_FACTOR, T("+$1"), $2); CHECK($$); }
  | '-' primary                         { $$ = N(SQLN_FACTOR, T("-$1"), $2); CHECK($$); }
  ;
primary
  : column_ref                          { $$ = N(SQLN_PRIMARY, T("$1"), $1); CHECK($$); }
  | PARAM
      { PT_NODE* q; q = L(SQLN_PARAM_MARKER, "?"); $$ = N(SQLN_PRIMARY, T("$1"), q); CHECK($$); }
  | literal                             { $$ = N(SQLN_PRIMARY, T("$1"), $1); CHECK($$); }
  | function_escape                     { $$ = N(SQLN_PRIMARY, T("$1"), $1); CHECK($$); }
  | function_call                       { $$ = N(SQLN_PRIMARY, T("$1"), $1); CHECK($$); }
  | aggregate_call                      { $$ = N(SQLN_PRIMARY, T("$1"), $1); CHECK($$); }
  | subquery                            { $$ = N(SQLN_PRIMARY, T("$1"), $1); CHECK($$); }
  | USER                                { $$ = L(SQLN_PRIMARY, "USER"); CHECK($$); }
  | '(' expression ')'                  { $$ = N(SQLN_PRIMARY, T("( $1 )"), $2); CHECK($$); }
  ;
/* The function's name is kept as written: only COUNT counts rows. */
aggregate_call
  : AGGREGATE '(' '*' ')'               { $$ = scrs::mkCountStar(ctx, $1); CHECK($$); }
  | AGGREGATE '(' DISTINCT column_ref ')'
      { PT_NODE* f; f = L(SQLN_AGGREGATE_NAME, $1);
        $$ = N(SQLN_AGGREGATE, T("$1( DISTINCT $2 )"), f, $4); CHECK($$); }
  | AGGREGATE '(' expression ')'
      { PT_NODE* f; f = L(SQLN_AGGREGATE_NAME, $1);
        $$ = N(SQLN_AGGREGATE, T("$1( $2 )"), f, $3); CHECK($$); }
  ;
literal
  : STRING                              { $$ = L(SQLN_LITERAL, $1); CHECK($$); }
  | DECNUM                              { $$ = L(SQLN_LITERAL, $1); CHECK($$); }
  | REALNUM                             { $$ = L(SQLN_LITERAL, $1); CHECK($$); }
  | INTNUM
      { PT_NODE* i; i = L(SQLN_INTEGER, $1); $$ = N(SQLN_LITERAL, T("$1"), i); CHECK($$); }
  | HEXNUM                              { $$ = L(SQLN_HEX_LITERAL, $1); CHECK($$); }
  | datetime_escape                     { $$ = N(SQLN_LITERAL, T("$1"), $1); CHECK($$); }
  ;
integer : INTNUM                        { $$ = L(SQLN_INTEGER, $1); CHECK($$); } ;

simple_case
  : CASE expression simple_when_list END
      { $$ = N(SQLN_SIMPLE_CASE, T("CASE $1 $2 END"), $2, $3); CHECK($$); }
  ;
simple_when_list
  : simple_when                         { $$ = N(SQLN_SIMPLE_WHEN_LIST, T("$1"), $1); CHECK($$); }
  | simple_when_list simple_when
      { $$ = N(SQLN_SIMPLE_WHEN_LIST, T("$1 $2"), $1, $2); CHECK($$); }
  ;
simple_when
  : WHEN expression THEN expression
      { $$ = N(SQLN_SIMPLE_WHEN, T("WHEN $1 THEN $2"), $2, $4); CHECK($$); }
  | ELSE expression                     { $$ = N(SQLN_SIMPLE_WHEN, T("ELSE $1"), $2); CHECK($$); }
  ;
searched_case
  : CASE searched_when_list END
      { $$ = N(SQLN_SEARCHED_CASE, T("CASE $1 END"), $2); CHECK($$); }
  ;
searched_when_list
  : searched_when                       { $$ = N(SQLN_SEARCHED_WHEN_LIST, T("$1"), $1); CHECK($$); }
  | searched_when_list searched_when
      { $$ = N(SQLN_SEARCHED_WHEN_LIST, T("$1 $2"), $1, $2); CHECK($$); }
  ;
searched_when
  : WHEN condition THEN expression
      { $$ = N(SQLN_SEARCHED_WHEN, T("WHEN $1 THEN $2"), $2, $4); CHECK($$); }
  | ELSE expression                     { $$ = N(SQLN_SEARCHED_WHEN, T("ELSE $1"), $2); CHECK($$); }
  ;

/* ---- ODBC escape clauses ---- */

esc_open
  : ESCOPEN                             { $$ = L(SQLN_ESCAPE_OPEN, "{"); CHECK($$); }
  | VENDOROPEN
      { $$ = L(SQLN_ESCAPE_OPEN, " --(* VENDOR(Microsoft), PRODUCT(ODBC) "); CHECK($$); }
  ;
esc_close
  : ESCCLOSE                            { $$ = L(SQLN_ESCAPE_CLOSE, "}"); CHECK($$); }
  | VENDORCLOSE                         { $$ = L(SQLN_ESCAPE_CLOSE, " *)--"); CHECK($$); }
  ;
datetime_escape
  : date_escape                         { $$ = N(SQLN_DATETIME_ESCAPE, T("$1"), $1); CHECK($$); }
  | time_escape                         { $$ = N(SQLN_DATETIME_ESCAPE, T("$1"), $1); CHECK($$); }
  | timestamp_escape                    { $$ = N(SQLN_DATETIME_ESCAPE, T("$1"), $1); CHECK($$); }
  ;
date_escape
  : esc_open DATELIT esc_close
      { PT_NODE* l; l = L(SQLN_DATE_LITERAL, $2);
        $$ = N(SQLN_DATE_ESCAPE, T("$1 $2 $3"), $1, l, $3); CHECK($$); }
  ;
time_escape
  : esc_open TIMELIT esc_close
      { PT_NODE* l; l = L(SQLN_TIME_LITERAL, $2);
        $$ = N(SQLN_TIME_ESCAPE, T("$1 $2 $3"), $1, l, $3); CHECK($$); }
  ;
timestamp_escape
  : esc_open TSLIT esc_close
      { PT_NODE* l; l = L(SQLN_TIMESTAMP_LITERAL, $2);
        $$ = N(SQLN_TIMESTAMP_ESCAPE, T("$1 $2 $3"), $1, l, $3); CHECK($$); }
  ;
outer_join_escape
  : esc_open OJ joined_table esc_close
      { $$ = N(SQLN_OUTER_JOIN_ESCAPE, T("$1 oj $2 $3"), $1, $3, $4); CHECK($$); }
  ;
function_escape
  : esc_open FN function_call esc_close
      { $$ = N(SQLN_FUNCTION_ESCAPE, T("$1 fn $2 $3"), $1, $3, $4); CHECK($$); }
  ;
function_call
  : IDENT '(' argument_list ')'
      { PT_NODE* f; f = L(SQLN_FUNCTION_NAME, $1);
        $$ = N(SQLN_FUNCTION_CALL, T("$1( $2 )"), f, $3); CHECK($$); }
  ;
argument_list
  : %empty                              { $$ = L(SQLN_ARGUMENT_LIST, ""); CHECK($$); }
  | expression                          { $$ = N(SQLN_ARGUMENT_LIST, T("$1"), $1); CHECK($$); }
  | expression ',' argument_list
      { $$ = N(SQLN_ARGUMENT_LIST, T("$1, $2"), $1, $3); CHECK($$); }
  | expression FROM expression
      { $$ = N(SQLN_ARGUMENT_LIST, T("$1 FROM $2"), $1, $3); CHECK($$); }
  | expression IN expression
      { $$ = N(SQLN_ARGUMENT_LIST, T("$1 IN $2"), $1, $3); CHECK($$); }
  ;

%%
